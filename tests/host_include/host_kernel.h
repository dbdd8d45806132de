// Stand-in <windows.h>: events, waits, locks, threads, the process and its module, local memory.
#pragma once

#define WAIT_OBJECT_0 ((DWORD)0x00000000)
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define INFINITE 0xFFFFFFFF

#define PROCESS_ALL_ACCESS 0x1FFFFFL
#define REALTIME_PRIORITY_CLASS 0x00000100
#define MAX_PATH 260

typedef struct _RTL_SRWLOCK {
    PVOID Ptr;
} SRWLOCK, *PSRWLOCK;
#define SRWLOCK_INIT {0}

typedef struct _RTL_CONDITION_VARIABLE {
    PVOID Ptr;
} CONDITION_VARIABLE, *PCONDITION_VARIABLE;
#define CONDITION_VARIABLE_INIT {0}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset, BOOL initialState,
                           LPCSTR name);
BOOL WINAPI SetEvent(HANDLE event);
BOOL WINAPI CloseHandle(HANDLE object);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);

void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock);
void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock);
BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE conditionVariable, PSRWLOCK lock, DWORD milliseconds,
                                      ULONG flags);
void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE conditionVariable);

DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass);
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
typedef std::intptr_t(WINAPI *FARPROC)(void);
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);

HANDLE WINAPI GetCurrentProcess(void);
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64Process);

// The system's version, as ntdll's RtlGetVersion fills it (looked up with GetProcAddress).
// WCHAR is 16 bits on Windows, as the record's layout needs it.
typedef char16_t WCHAR;
typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW, RTL_OSVERSIONINFOEXW, *PRTL_OSVERSIONINFOEXW;
#define VER_NT_WORKSTATION 0x0000001
#define VER_NT_DOMAIN_CONTROLLER 0x0000002
#define VER_NT_SERVER 0x0000003

typedef DWORD(WINAPI *PTHREAD_START_ROUTINE)(LPVOID threadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES threadAttributes, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags, LPDWORD threadId);

HLOCAL WINAPI LocalFree(HLOCAL memory);

ULONGLONG WINAPI GetTickCount64(void);

typedef struct _OVERLAPPED *LPOVERLAPPED;
#define STD_OUTPUT_HANDLE ((DWORD)-11)
HANDLE WINAPI GetStdHandle(DWORD stdHandle);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);

#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6

typedef BOOL(WINAPI *PHANDLER_ROUTINE)(DWORD controlType);
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handlerRoutine, BOOL add);
