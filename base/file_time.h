// A FILETIME (100 ns units since 1601) as one 64-bit number and back, for time arithmetic.
#pragma once

#include <windows.h>

inline ULONGLONG FileTimeValue(const FILETIME &fileTime)
{
    ULARGE_INTEGER value;
    value.LowPart = fileTime.dwLowDateTime;
    value.HighPart = fileTime.dwHighDateTime;
    return value.QuadPart;
}

inline FILETIME ToFileTime(ULONGLONG value)
{
    ULARGE_INTEGER units;
    units.QuadPart = value;
    return FILETIME{units.LowPart, units.HighPart};
}
