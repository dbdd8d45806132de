// `-debug`: the worker in the console, stopped by Ctrl+C or Ctrl+Break, or by the console's
// close, a log-off or a shutdown.
#pragma once

#include <windows.h>

#include "engine/clock_worker.h"

// The worker's start-up at the console: its trace lines tell it, and nothing refuses it.
extern const WorkerReporter kConsoleReporter;

// Runs the worker on this thread in console mode, with the session's window on a thread of
// its own; returns when the worker returns.
void RunInConsole(void);

// The console's control handler: Ctrl+C and Ctrl+Break stop the worker and count as
// handled. The console's close, a log-off and a shutdown stop it too, and return once its
// closing sequence has handed the clock back, 4 s at most: the process ends when they return.
BOOL WINAPI ConsoleControl(DWORD controlType);

// The procedure of the hidden window that hears of a log-off or a shutdown: a program that
// loads user32 is not sent those console events. When the session really ends it stops the
// worker as the console's close does, and returns once the clock is handed back, 4 s at most.
LRESULT CALLBACK SessionWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
