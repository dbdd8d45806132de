// Civil dates and times counted from 1601-01-01 00:00.
#include "civil_time.h"

namespace {

// 1601-01-01 lies 134,774 days before 1970-01-01; the day arithmetic below counts from the
// latter (days from civil, after H. Hinnant).
const std::int64_t kDays1601To1970 = 134774;

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::int64_t CivilDaysFrom1601(int year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + kDays1601To1970;
}

void CivilDateFromDays(std::int64_t days, int *year, int *month, int *day)
{
    const std::int64_t z = days - kDays1601To1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

int CivilIsValid(const SYSTEMTIME &t)
{
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
           t.wMilliseconds < 1000;
}

std::int64_t CivilMsFrom1601(const SYSTEMTIME &t)
{
    return CivilDaysFrom1601(t.wYear, t.wMonth, t.wDay) * CIVIL_MS_PER_DAY +
           ((t.wHour * 60 + t.wMinute) * 60 + t.wSecond) * std::int64_t{1000} + t.wMilliseconds;
}

SYSTEMTIME CivilTimeFromMs(std::int64_t ms)
{
    const std::int64_t days = ms / CIVIL_MS_PER_DAY;
    const std::int64_t msOfDay = ms % CIVIL_MS_PER_DAY;
    int year, month, day;
    CivilDateFromDays(days, &year, &month, &day);
    SYSTEMTIME t;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(msOfDay / 3600000);
    t.wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
    t.wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
    return t;
}

int CivilToFileTime(const SYSTEMTIME &time, FILETIME *fileTime)
{
    if (!CivilIsValid(time))
        return 0;
    ULARGE_INTEGER units;
    units.QuadPart = static_cast<ULONGLONG>(CivilMsFrom1601(time) * CIVIL_FILETIME_UNITS_PER_MS);
    fileTime->dwLowDateTime = units.LowPart;
    fileTime->dwHighDateTime = units.HighPart;
    return 1;
}

int CivilFromFileTime(const FILETIME &fileTime, SYSTEMTIME *time)
{
    ULARGE_INTEGER units;
    units.LowPart = fileTime.dwLowDateTime;
    units.HighPart = fileTime.dwHighDateTime;
    if (units.QuadPart >= 0x8000000000000000ULL)
        return 0;
    *time = CivilTimeFromMs(static_cast<std::int64_t>(units.QuadPart) / CIVIL_FILETIME_UNITS_PER_MS);
    return 1;
}
