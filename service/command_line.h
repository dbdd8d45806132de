// The program's entry: one executable is the service and its own administration tool.
//
//   RUZivEr2 -load X nnn   store the settings word and install the service
//   RUZivEr2 -unload       stop and remove the service
//   RUZivEr2 -debug        run the worker in the console, with its trace
//   RUZivEr2 -status       what the service is doing; exit status 0 to 3, no pause
//   RUZivEr2 -measure [s]  the board against this clock, to find its delay; 0 to 4, no pause
//   anything else          print the usage text and hand the process to the dispatcher;
//                          this is how the service itself starts, registered without
//                          arguments
// Options start with '-' or '/' and are compared without regard to case.
#pragma once

#include <windows.h>

enum ProgramPath {
    PROGRAM_PATH_USAGE,
    PROGRAM_PATH_LOAD,
    PROGRAM_PATH_UNLOAD,
    PROGRAM_PATH_DEBUG,
    PROGRAM_PATH_STATUS,
    PROGRAM_PATH_MEASURE
};

ProgramPath ChooseProgramPath(int argc, char **argv);

// Runs the path the arguments choose and returns the process's exit status: 0 for the
// load, unload and debug paths whatever they reported, but 1 for a load whose board's delay
// was refused; the status and measure paths' own.
int RunProgram(int argc, char **argv);
