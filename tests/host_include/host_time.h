// Stand-in <windows.h>: the computer clock and time conversions.
#pragma once

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
} ULARGE_INTEGER;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
} LARGE_INTEGER;

typedef std::uint64_t DWORD64;
typedef DWORD64 *PDWORD64;

void WINAPI GetLocalTime(LPSYSTEMTIME time);
void WINAPI GetSystemTime(LPSYSTEMTIME time);
BOOL WINAPI SetLocalTime(const SYSTEMTIME *time);
BOOL WINAPI SetSystemTime(const SYSTEMTIME *time);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime);
BOOL WINAPI FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime);

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency);
void WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME time);
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local);
BOOL WINAPI GetSystemTimeAdjustment(PDWORD adjustment, PDWORD increment, PBOOL disabled);
BOOL WINAPI SetSystemTimeAdjustment(DWORD adjustment, BOOL disabled);
