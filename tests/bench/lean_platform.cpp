// A lean platform for measuring the polling tick.
#include "lean_platform.h"

#include "civil_time.h"
#include "reader/nttc_reader.h"

LeanPlatformState g_lean;

void LeanReset(void)
{
    g_lean = LeanPlatformState{};
    g_lean.wordCount = 1;
    g_lean.readResult = 1;
    g_lean.clock = CivilTimeFromMs(CivilDaysFrom1601(2026, 3, 1) * CIVIL_MS_PER_DAY);
    g_lean.setResult = TRUE;
}

void LeanAnswerWords(const DWORD *words, int count)
{
    for (int i = 0; i < count && i < LEAN_MAX_WORDS; ++i)
        g_lean.words[i] = words[i];
    g_lean.wordCount = count < 1 ? 1 : count > LEAN_MAX_WORDS ? LEAN_MAX_WORDS : count;
    g_lean.nextWord = 0;
}

extern "C" int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *)
{
    ++g_lean.reads;
    *timeCodeWord = g_lean.words[g_lean.nextWord];
    if (++g_lean.nextWord == g_lean.wordCount)
        g_lean.nextWord = 0;
    return g_lean.readResult;
}

DWORD WINAPI GetLastError(void) { return g_lean.lastError; }

// The check notes the tick count at each comparison; a system call-free read on Windows too.
ULONGLONG WINAPI GetTickCount64(void) { return 0; }

// Console output links in with the library; the tick never writes.
HANDLE WINAPI GetStdHandle(DWORD) { return NULL; }
BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }

BOOL WINAPI MessageBeep(UINT)
{
    ++g_lean.beeps;
    return TRUE;
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    ++g_lean.clockReads;
    *time = g_lean.clock;
}

void WINAPI GetSystemTime(LPSYSTEMTIME time)
{
    ++g_lean.clockReads;
    *time = g_lean.clock;
}

BOOL WINAPI SetLocalTime(const SYSTEMTIME *time)
{
    ++g_lean.clockSets;
    g_lean.lastSet = *time;
    return g_lean.setResult;
}

BOOL WINAPI SetSystemTime(const SYSTEMTIME *time)
{
    ++g_lean.clockSets;
    g_lean.lastSet = *time;
    return g_lean.setResult;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime)
{
    ++g_lean.dateConversions;
    return CivilToFileTime(*systemTime, fileTime) ? TRUE : FALSE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime)
{
    ++g_lean.dateConversions;
    return CivilFromFileTime(*fileTime, systemTime) ? TRUE : FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                  PDWORD)
{
    if (disableAllPrivileges) {
        ++g_lean.privilegeDisables;
        g_lean.lastError = ERROR_SUCCESS;
    } else {
        ++g_lean.privilegeEnables;
        g_lean.lastError = g_lean.enableError;
    }
    return TRUE;
}
