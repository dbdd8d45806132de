// RUZivEr2.exe: the time-code clock service and its own administration tool.
#include "service/command_line.h"

int main(int argc, char **argv) { return RunProgram(argc, argv); }
