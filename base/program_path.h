// The full path of the running program's own file.
#pragma once

#include <windows.h>

// Room for the program's path, terminator included.
enum { PROGRAM_PATH_SIZE = 512 };

// Fills path (PROGRAM_PATH_SIZE bytes) with the program's full path. Returns 0 when the
// path cannot be had or does not fit: a cut path names another file, so it is never used.
// The last error then tells why (ERROR_INSUFFICIENT_BUFFER for a path that does not fit).
int GetProgramPath(char *path);
