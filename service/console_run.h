// `-debug`: the worker in the console, stopped by Ctrl+C or Ctrl+Break.
#pragma once

#include <windows.h>

#include "engine/clock_worker.h"

// The worker's start-up at the console: its trace lines tell it, and nothing refuses it.
extern const WorkerReporter kConsoleReporter;

// Runs the worker on this thread in console mode; returns when it returns.
void RunInConsole(void);

// The console's control handler: Ctrl+C and Ctrl+Break stop the worker and count as
// handled; every other event is left to the system.
BOOL WINAPI ConsoleControl(DWORD controlType);
