// Stand-in <windows.h> for the host build.
//
// Declares only the part of the Win32 API that the program uses, with the platform's
// names, types, values and calling conventions, so that the production sources compile
// unchanged on Linux. The definitions come from the recording fake under tests/fake.
// Each area of the API has a header of its own below; add new areas the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef void VOID;
typedef void *PVOID;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef void *HANDLE;
typedef HANDLE *PHANDLE;
typedef HANDLE HLOCAL;
typedef HANDLE HMODULE;
typedef BYTE *LPBYTE;
typedef BYTE *PBYTE;
typedef WORD *PWORD;
typedef DWORD *LPDWORD;
typedef DWORD *PDWORD;
typedef BOOL *PBOOL;
typedef BOOL *LPBOOL;
typedef std::uint32_t ULONG;
typedef ULONG *PULONG;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef std::size_t SIZE_T;
typedef std::uintptr_t ULONG_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::uintptr_t DWORD_PTR;
typedef std::intptr_t LONG_PTR;
typedef DWORD ACCESS_MASK;
typedef DWORD REGSAM;
typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL __null
#endif
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INVALID_NAME 123L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L
#define ERROR_UNSUPPORTED_TYPE 1630L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_NO_SUCH_PRIVILEGE 1313L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_TIMEOUT 1460L

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD errorCode);

void WINAPI Sleep(DWORD milliseconds);

#define MB_OK 0x00000000L
BOOL WINAPI MessageBeep(UINT type);

#include "host_kernel.h"
#include "host_time.h"
#include "host_timer.h"
#include "host_security.h"
#include "host_registry.h"
#include "host_service.h"
#include "host_service_control.h"
#include "host_service_manager.h"
#include "host_window.h"
