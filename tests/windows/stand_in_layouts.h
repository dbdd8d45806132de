// Sizes and alignments of the Win32 types the code relies on, as mingw-w64 compiles them.
// stand_in_check.cpp asserts them in every build: the host's stand-in (tests/host_include)
// against the 64-bit columns, the win32 and win64 builds' <windows.h> against their own.
// Add each type the program, the fake or the tests lay out or copy.
//
//               type                  32-bit: size align   64-bit: size align
STAND_IN_LAYOUT(SYSTEMTIME,            16, 2,  16, 2)
STAND_IN_LAYOUT(FILETIME,              8,  4,  8,  4)
STAND_IN_LAYOUT(ULARGE_INTEGER,        8,  8,  8,  8)
STAND_IN_LAYOUT(LUID,                  8,  4,  8,  4)
STAND_IN_LAYOUT(LUID_AND_ATTRIBUTES,   12, 4,  12, 4)
STAND_IN_LAYOUT(TOKEN_PRIVILEGES,      16, 4,  16, 4)
STAND_IN_LAYOUT(SERVICE_STATUS,        28, 4,  28, 4)
STAND_IN_LAYOUT(SERVICE_TABLE_ENTRYA,  8,  4,  16, 8)
STAND_IN_LAYOUT(CRITICAL_SECTION,      24, 4,  40, 8)
STAND_IN_LAYOUT(SRWLOCK,               4,  4,  8,  8)
STAND_IN_LAYOUT(HANDLE,                4,  4,  8,  8)
STAND_IN_LAYOUT(HKEY,                  4,  4,  8,  8)
STAND_IN_LAYOUT(SC_HANDLE,             4,  4,  8,  8)
STAND_IN_LAYOUT(SERVICE_STATUS_HANDLE, 4,  4,  8,  8)
STAND_IN_LAYOUT(PSID,                  4,  4,  8,  8)
STAND_IN_LAYOUT(PSECURITY_DESCRIPTOR,  4,  4,  8,  8)

// Integer types: also whether they are signed.
//               type                  32-bit size, 64-bit size, signed
STAND_IN_INTEGER(BOOL,                 4, 4, true)
STAND_IN_INTEGER(BYTE,                 1, 1, false)
STAND_IN_INTEGER(CHAR,                 1, 1, true)
STAND_IN_INTEGER(WORD,                 2, 2, false)
STAND_IN_INTEGER(DWORD,                4, 4, false)
STAND_IN_INTEGER(LONG,                 4, 4, true)
STAND_IN_INTEGER(ULONG,                4, 4, false)
STAND_IN_INTEGER(UINT,                 4, 4, false)
STAND_IN_INTEGER(LONGLONG,             8, 8, true)
STAND_IN_INTEGER(ULONGLONG,            8, 8, false)
STAND_IN_INTEGER(SIZE_T,               4, 8, false)
STAND_IN_INTEGER(ULONG_PTR,            4, 8, false)
STAND_IN_INTEGER(DWORD_PTR,            4, 8, false)
STAND_IN_INTEGER(LONG_PTR,             4, 8, true)
STAND_IN_INTEGER(ACCESS_MASK,          4, 4, false)
STAND_IN_INTEGER(REGSAM,               4, 4, false)
STAND_IN_INTEGER(SECURITY_INFORMATION, 4, 4, false)
