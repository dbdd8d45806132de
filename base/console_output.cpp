// Console mode and the console's messages and traces.
#include "base/console_output.h"

#include <cstdarg>
#include <cstdio>

ConsoleState g_console = {0, NULL};

namespace {

void PrintAndFlush(const char *format, va_list args)
{
    std::vprintf(format, args);
    std::fflush(stdout);
}

}  // namespace

// A message longer than the sink's buffer is cut: it goes to an installer's log line.
void ConsolePrint(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    if (g_console.printSink != NULL) {
        char message[1024];
        std::vsnprintf(message, sizeof message, format, args);
        g_console.printSink(message);
    } else {
        PrintAndFlush(format, args);
    }
    va_end(args);
}

void ConsoleTrace(const char *format, ...)
{
    if (!g_console.consoleMode)
        return;
    va_list args;
    va_start(args, format);
    PrintAndFlush(format, args);
    va_end(args);
}

// What printf buffered goes first, then the bytes through the handle beneath it.
int ConsoleWriteBytes(const char *bytes, DWORD size)
{
    std::fflush(stdout);
    DWORD written = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, size, &written, NULL) && written == size;
}

void ConsoleBeep(void)
{
    if (g_console.consoleMode)
        MessageBeep(MB_OK);
}
