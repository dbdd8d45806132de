// Console mode and the console's messages and traces.
//
// `-debug` sets the console mode flag before anything else runs and nothing clears it.
// While it is set, status reports and event-log entries do nothing, and the engine's trace
// lines and beeps are given (the engine looks at the flag only through ConsoleTrace and
// ConsoleBeep). Every message is flushed at once: standard output of a service tool is often
// a pipe or a file, and a killed process must not lose what it printed.
#pragma once

#include <windows.h>

struct ConsoleState {
    int consoleMode;  // 1 once `-debug` has started, else 0
    // Where ConsolePrint's messages go instead of standard output, or NULL: the package's
    // custom actions run inside the installer, which has no console, and hand them to its log.
    void (*printSink)(const char *message) = NULL;
};

extern ConsoleState g_console;

// Prints a message to standard output and flushes it.
void ConsolePrint(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes bytes to standard output as they are, with no line-end translation: the forms for
// machines want "\n" alone. Returns 0 when they could not all be written.
int ConsoleWriteBytes(const char *bytes, DWORD size);

// Prints a trace line in console mode only.
void ConsoleTrace(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Beeps (MessageBeep, MB_OK) in console mode only: at the console each comparison of the
// clock with the board is heard.
void ConsoleBeep(void);
