// Drives the stand-in ZYN_NTTC.dll under Wine the way the program does, and prints what it
// sees for tests/e2e/standin_library_wine.sh to judge. Bound by ordinal through the import
// library, like the program.
//
//   standin_driver.exe [seconds=2] [poll_ms=5]
//
// Output, one item a line:
//   open <result>
//   identify <address asked> -> <result> <address left>     (until a board answers)
//   found <family> <address>    or    found none
//   read <ms since the first read> <result> <word> <local ms of day> <UTC ms of day>
// where the two clocks are read right after the word.
//   reads <count>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "reader/nttc_reader.h"

namespace {

const WORD kCandidates[] = {0x200,  0x220,  0x280,  0x2A0,  0x300,  0x320,  0x380,  0x3A0,  0xC000, 0xC400, 0xC800,
                            0xCC00, 0xD000, 0xD400, 0xD800, 0xDC00, 0xCD00, 0xCE00, 0xCF00, 0xDD00, 0xDE00, 0xDF00};

struct DriverOptions {
    int seconds;
    DWORD pollMs;
};

// The driver may be killed by the test's time-out: every line goes out at once.
void PrintLine(const char *format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

void PrintLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

DriverOptions ReadOptions(int argc, char **argv)
{
    DriverOptions options{2, 5};
    if (argc > 1)
        options.seconds = std::atoi(argv[1]);
    if (argc > 2)
        options.pollMs = static_cast<DWORD>(std::atoi(argv[2]));
    return options;
}

// The first candidate where a known family answers, as the program's discovery finds it.
int FindBoard(WORD *boardAddress)
{
    for (WORD candidate : kCandidates) {
        WORD address = candidate;
        const int family = NttcIdentify(&address);
        PrintLine("identify 0x%X -> %d 0x%X", candidate, family, address);
        if (family >= 1 && family <= 3) {
            *boardAddress = address;
            return family;
        }
    }
    return 0;
}

long MsOfDay(const SYSTEMTIME &now)
{
    return ((now.wHour * 60L + now.wMinute) * 60L + now.wSecond) * 1000L + now.wMilliseconds;
}

long ElapsedMs(const LARGE_INTEGER &start, const LARGE_INTEGER &frequency)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<long>((now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
}

int ReadForAWhile(WORD address, const DriverOptions &options)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    int reads = 0;
    while (ElapsedMs(start, frequency) < options.seconds * 1000L) {
        DWORD word = 0;
        WORD readAddress = address;
        const int result = NttcReadTime(&word, &readAddress);
        SYSTEMTIME local;
        SYSTEMTIME utc;
        GetLocalTime(&local);
        GetSystemTime(&utc);
        PrintLine("read %ld %d 0x%08lX %ld %ld", ElapsedMs(start, frequency), result, static_cast<unsigned long>(word),
                  MsOfDay(local), MsOfDay(utc));
        ++reads;
        Sleep(options.pollMs);
    }
    return reads;
}

}  // namespace

int main(int argc, char **argv)
{
    const DriverOptions options = ReadOptions(argc, argv);
    const int opened = NttcOpen();
    PrintLine("open %d", opened);
    if (!opened)
        return 1;
    WORD address = 0;
    const int family = FindBoard(&address);
    if (!family) {
        PrintLine("found none");
        return 1;
    }
    PrintLine("found %d 0x%X", family, address);
    PrintLine("reads %d", ReadForAWhile(address, options));
    return 0;
}
