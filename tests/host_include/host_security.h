// Stand-in <windows.h>: process token and privileges.
#pragma once

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_SYSTEMTIME_NAME "SeSystemtimePrivilege"
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_QUERY 0x0008

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength);

typedef PVOID PSECURITY_DESCRIPTOR;
typedef struct _ACL *PACL;
typedef DWORD SECURITY_INFORMATION;

#define DACL_SECURITY_INFORMATION 0x00000004L

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token);
BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid);
BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, LPBOOL daclPresent, PACL *dacl,
                                      LPBOOL daclDefaulted);
BOOL WINAPI SetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION securityInformation,
                             PSECURITY_DESCRIPTOR securityDescriptor);
