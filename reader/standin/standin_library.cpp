// The stand-in ZYN_NTTC.dll: the six operations of the reader contract (reader/nttc_reader.h)
// over a simulated board, so that the program runs without hardware.
//
// This file is the Windows glue only: the library's own path, the configuration file beside
// it, the computer clock, the log and the process samples. What the board answers is decided
// by the pure code in standin_config.cpp and standin_words.cpp. docs/standin-library.md
// describes the configuration file and the log.
#include <windows.h>
#include <psapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "reader/nttc_reader.h"
#include "reader/standin/standin_config.h"
#include "reader/standin/standin_words.h"

namespace {

const char kConfigFileName[] = "ZYN_NTTC.ini";

// Room for the library's full path; a longer path leaves the library on its defaults.
const DWORD kPathChars = 1024;

// One log line, the longest being the start line with the library's path.
const int kLogLineChars = 2048;

enum ConfigSource { CONFIG_MISSING, CONFIG_READ, CONFIG_REFUSED, CONFIG_UNREADABLE };

const char *const kConfigSourceNames[] = {"missing", "read", "refused", "unreadable"};

// The library's process-wide state. Every operation runs under `lock`, so the program's
// threads, and the log lines they cause, never interleave.
struct StandinLibrary {
    HMODULE module;               // this library, from DllMain
    CRITICAL_SECTION lock;
    int started;                  // configuration read and log opened, on the first operation
    StandinConfig config;
    StandinParseReport report;
    int configSource;             // ConfigSource
    char libraryPath[kPathChars]; // this library's file; empty if unknown
    int folderChars;              // how much of libraryPath is its folder, with the backslash
    HANDLE log;                   // nullptr without a log
    LONGLONG counterFrequency;    // QueryPerformanceCounter counts per second
    StandinPrng prng;
    ULONGLONG boardReads;         // NttcReadTime calls at the board's address so far
    DWORD identifyQueries;        // NttcIdentify calls at the board's address so far
    int haveLastWord;
    DWORD lastWord;               // the last word delivered, which a frozen board keeps
};

StandinLibrary g_library;

// Milliseconds of the performance counter, which never goes back and resolves far below the
// 51 ms polling period (GetTickCount moves in steps of 10 to 16 ms on Windows).
ULONGLONG MonotonicMs(void)
{
    LARGE_INTEGER count;
    if (g_library.counterFrequency <= 0 || !QueryPerformanceCounter(&count))
        return GetTickCount();
    const ULONGLONG counts = static_cast<ULONGLONG>(count.QuadPart);
    const ULONGLONG frequency = static_cast<ULONGLONG>(g_library.counterFrequency);
    // Whole seconds first, so that counts * 1000 cannot overflow.
    return counts / frequency * 1000 + counts % frequency * 1000 / frequency;
}

// Appends one line, "<ms> <text>", to the log. Each line goes to the system in one WriteFile
// on an unbuffered handle, so nothing is lost when the process is killed.
void LogLine(const char *format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

void LogLine(const char *format, ...)
{
    if (!g_library.log)
        return;
    char line[kLogLineChars];
    const int stampChars = std::snprintf(line, sizeof line, "%llu ", MonotonicMs());
    va_list args;
    va_start(args, format);
    const int textChars = std::vsnprintf(line + stampChars, sizeof line - stampChars, format, args);
    va_end(args);
    int length = stampChars + (textChars > 0 ? textChars : 0);
    // A line cut short by the buffer still ends with its line break.
    if (length > kLogLineChars - 3)
        length = kLogLineChars - 3;
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(g_library.log, line, static_cast<DWORD>(length), &written, nullptr);
}

// This library's file and folder, found through its module handle and never through the
// environment or the working directory: a service starts with neither set by the installer.
int FindLibraryPath(void)
{
    const DWORD length = GetModuleFileNameA(g_library.module, g_library.libraryPath, kPathChars);
    if (length == 0 || length >= kPathChars) {
        g_library.libraryPath[0] = '\0';
        return 0;
    }
    DWORD folderChars = length;
    while (folderChars > 0 && g_library.libraryPath[folderChars - 1] != '\\' &&
           g_library.libraryPath[folderChars - 1] != '/')
        --folderChars;
    g_library.folderChars = static_cast<int>(folderChars);
    return folderChars > 0;
}

// Builds "<library folder><name>"; 0 when the folder is unknown or the result would not fit.
int PathBesideLibrary(const char *name, char *path, std::size_t pathChars)
{
    if (g_library.folderChars == 0)
        return 0;
    const int length = std::snprintf(path, pathChars, "%.*s%s", g_library.folderChars, g_library.libraryPath, name);
    return length > 0 && static_cast<std::size_t>(length) < pathChars;
}

// Reads up to `capacity` bytes; *length is how many came. 0 when a read fails.
int ReadWholeFile(HANDLE file, char *buffer, DWORD capacity, DWORD *length)
{
    *length = 0;
    while (*length < capacity) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + *length, capacity - *length, &got, nullptr))
            return 0;
        if (got == 0)
            break;
        *length += got;
    }
    return 1;
}

// Reads ZYN_NTTC.ini beside the library into the configuration record. Whatever goes wrong
// leaves the defaults, and the start line of the log says which case it was.
void LoadConfig(void)
{
    StandinConfigDefaults(&g_library.config);
    g_library.configSource = CONFIG_MISSING;
    char path[kPathChars];
    if (!PathBesideLibrary(kConfigFileName, path, sizeof path))
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    // One byte more than a configuration may have, to tell a file that is too long.
    char text[STANDIN_CONFIG_MAX_BYTES + 1];
    DWORD length = 0;
    const int read = ReadWholeFile(file, text, sizeof text, &length);
    CloseHandle(file);
    if (!read) {
        g_library.configSource = CONFIG_UNREADABLE;
        return;
    }
    if (StandinParseConfig(text, length, &g_library.config, &g_library.report))
        g_library.configSource = CONFIG_READ;
    else
        g_library.configSource = CONFIG_REFUSED;
}

void OpenLog(void)
{
    char path[kPathChars];
    if (g_library.config.logName[0] == '\0' || !PathBesideLibrary(g_library.config.logName, path, sizeof path))
        return;
    // Append-only access makes each WriteFile land at the end, even with another process
    // (say a console run beside the service) writing the same file.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        g_library.log = file;
}

const char *FamilyName(int family)
{
    switch (family) {
    case STANDIN_FAMILY_TAV:
        return "TAV";
    case STANDIN_FAMILY_BRQ:
        return "BRQ";
    case STANDIN_FAMILY_FENLO:
        return "FENLO";
    default:
        return "none";
    }
}

// The first lines of a run: where the configuration came from and what was made of it, so
// that an administrator's dry run shows a mistyped line at once.
void LogStart(void)
{
    const StandinParseReport &report = g_library.report;
    LogLine("start pid=%lu library=%s config=%s rejected_lines=%d first_rejected_line=%d unknown_keys=%d "
            "first_unknown_line=%d",
            GetCurrentProcessId(), g_library.libraryPath, kConfigSourceNames[g_library.configSource], report.rejectedLines,
            report.firstRejectedLine, report.unknownKeys, report.firstUnknownLine);
    const StandinConfig &c = g_library.config;
    LogLine("config board=%s address=0x%X answer_address=0x%X answer_from_query=%lu fenlo_id=0x%02X "
            "fenlo_signature=0x%02X,0x%02X,0x%02X time_base=%s offset_ms=%ld frame_rate=%d open_fails=%s "
            "read_fail_percent=%d torn_read_percent=%d frozen_after_reads=%lu silent_after_reads=%lu "
            "silent_for_reads=%lu silent_every_reads=%lu log=%s sample_every_reads=%lu seed=%lu",
            FamilyName(c.family), c.address, c.answerAddress, static_cast<unsigned long>(c.answerFromQuery),
            c.fenloId, c.fenloSignature[0], c.fenloSignature[1], c.fenloSignature[2], c.useUtc ? "utc" : "local",
            static_cast<long>(c.offsetMs), c.frameRate, c.openFails ? "yes" : "no", c.readFailPercent,
            c.tornReadPercent, static_cast<unsigned long>(c.frozenAfterReads),
            static_cast<unsigned long>(c.silentAfterReads), static_cast<unsigned long>(c.silentForReads),
            static_cast<unsigned long>(c.silentEveryReads), c.logName,
            static_cast<unsigned long>(c.sampleEveryReads), static_cast<unsigned long>(c.seed));
}

// Done once, by the first operation rather than in DllMain, where reading files is unsafe.
void StartOnce(void)
{
    if (g_library.started)
        return;
    g_library.started = 1;
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency))
        g_library.counterFrequency = frequency.QuadPart;
    StandinConfigDefaults(&g_library.config);
    if (FindLibraryPath())
        LoadConfig();
    StandinSeedPrng(&g_library.prng, g_library.config.seed);
    OpenLog();
    LogStart();
}

void EnterLibrary(void)
{
    EnterCriticalSection(&g_library.lock);
    StartOnce();
}

void LeaveLibrary(void) { LeaveCriticalSection(&g_library.lock); }

// The board's time of day: the computer clock in the configured time base, plus the offset.
std::int64_t BoardMsOfDay(void)
{
    SYSTEMTIME now;
    if (g_library.config.useUtc)
        GetSystemTime(&now);
    else
        GetLocalTime(&now);
    return StandinMsOfDay(now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, g_library.config.offsetMs);
}

// Logs the process's handle count and private bytes every sample_every_reads reads, so that
// a long run shows whether the program leaks.
void SampleProcessIfDue(void)
{
    const DWORD every = g_library.config.sampleEveryReads;
    if (!g_library.log || every == 0 || g_library.boardReads % every != 0)
        return;
    DWORD handles = 0;
    const BOOL haveHandles = GetProcessHandleCount(GetCurrentProcess(), &handles);
    PROCESS_MEMORY_COUNTERS_EX memory;
    std::memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    const BOOL haveMemory = K32GetProcessMemoryInfo(
        GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&memory), sizeof memory);
    // An unavailable figure shows as -1 rather than as a plausible zero.
    LogLine("sample reads=%llu handles=%lld private_bytes=%lld", g_library.boardReads,
            haveHandles ? static_cast<long long>(handles) : -1LL,
            haveMemory ? static_cast<long long>(memory.PrivateUsage) : -1LL);
}

const char *const kOutcomeNotes[] = {"", " torn", " frozen", " failed", " silent"};

// Makes the word for one read at the board; returns the read's result.
int ReadBoardWord(StandinReadOutcome outcome, DWORD *word)
{
    const std::int64_t msOfDay = BoardMsOfDay();
    const int frameRate = g_library.config.frameRate;
    switch (outcome) {
    case STANDIN_READ_LIVE:
        *word = StandinTimeWord(msOfDay, frameRate);
        break;
    case STANDIN_READ_TORN:
        *word = StandinTornWord(msOfDay, frameRate);
        break;
    case STANDIN_READ_FROZEN:
        // A board that froze before delivering anything keeps the word of this moment.
        *word = g_library.haveLastWord ? g_library.lastWord : StandinTimeWord(msOfDay, frameRate);
        break;
    case STANDIN_READ_FAILED:
    case STANDIN_READ_SILENT:
        return 0;
    }
    g_library.lastWord = *word;
    g_library.haveLastWord = 1;
    return 1;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_library.module = instance;
        InitializeCriticalSection(&g_library.lock);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary; at process exit the system closes the log itself.
        if (g_library.log)
            CloseHandle(g_library.log);
        g_library.log = nullptr;
        DeleteCriticalSection(&g_library.lock);
    }
    return TRUE;
}

int WINAPI NttcOpen(void)
{
    EnterLibrary();
    const int result = g_library.config.openFails ? 0 : 1;
    LogLine("NttcOpen -> %d", result);
    LeaveLibrary();
    return result;
}

int WINAPI NttcIdentify(WORD *address)
{
    if (!address)
        return 0;
    EnterLibrary();
    const WORD asked = *address;
    // Only the queries at the board's own address count towards answer_from_query.
    if (asked == g_library.config.address && g_library.identifyQueries < 0xFFFFFFFFu)
        ++g_library.identifyQueries;
    std::uint16_t answer = asked;
    const int family = StandinIdentifyAnswer(&g_library.config, asked, g_library.identifyQueries, &answer);
    *address = answer;
    LogLine("NttcIdentify 0x%X -> %d 0x%X", asked, family, answer);
    LeaveLibrary();
    return family;
}

int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *address)
{
    if (!timeCodeWord || !address)
        return 0;
    EnterLibrary();
    const WORD at = *address;
    int result = 0;
    if (!StandinBoardAt(&g_library.config, at)) {
        LogLine("NttcReadTime 0x%X -> 0 no board", at);
    } else {
        ++g_library.boardReads;
        const StandinReadOutcome outcome = StandinDecideRead(&g_library.config, g_library.boardReads, &g_library.prng);
        DWORD word = 0;
        result = ReadBoardWord(outcome, &word);
        if (result) {
            *timeCodeWord = word;
            LogLine("NttcReadTime 0x%X -> 1 0x%08lX%s", at, static_cast<unsigned long>(word), kOutcomeNotes[outcome]);
        } else {
            LogLine("NttcReadTime 0x%X -> 0%s", at, kOutcomeNotes[outcome]);
        }
        SampleProcessIfDue();
    }
    LeaveLibrary();
    return result;
}

int WINAPI NttcReadReg(BYTE *value, WORD *registerNumber, WORD *address)
{
    if (!value || !registerNumber || !address)
        return 0;
    EnterLibrary();
    std::uint8_t byte = 0;
    const int result = StandinRegisterAnswer(&g_library.config, *address, *registerNumber, &byte);
    *value = byte;
    LogLine("NttcReadReg 0x%X 0x%X -> %d 0x%02X", *registerNumber, *address, result, byte);
    LeaveLibrary();
    return result;
}

int WINAPI NttcWriteReg(BYTE *value, WORD *registerNumber, WORD *address)
{
    if (!value || !registerNumber || !address)
        return 0;
    EnterLibrary();
    LogLine("NttcWriteReg 0x%02X 0x%X 0x%X -> 1", *value, *registerNumber, *address);
    LeaveLibrary();
    return 1;
}

// The second byte is the library's own; the stand-in neither reads nor changes it.
int WINAPI NttcSendByte(BYTE *value, BYTE *secondByte, WORD *address)
{
    (void)secondByte;
    if (!value || !address)
        return 0;
    EnterLibrary();
    LogLine("NttcSendByte 0x%02X 0x%X -> 1", *value, *address);
    LeaveLibrary();
    return 1;
}
