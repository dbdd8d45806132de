// Civil dates and times counted from 1601-01-01 00:00, the epoch of FILETIME, for the host
// platforms of the benchmark and the clock simulation (proleptic Gregorian calendar).
#pragma once

#include <windows.h>

#include <cstdint>

const std::int64_t CIVIL_MS_PER_DAY = 86400000;
const std::int64_t CIVIL_FILETIME_UNITS_PER_MS = 10000;  // FILETIME counts 100 ns units

// Days from 1601-01-01 to the given date.
std::int64_t CivilDaysFrom1601(int year, int month, int day);

// The date `days` days after 1601-01-01.
void CivilDateFromDays(std::int64_t days, int *year, int *month, int *day);

// 1 when the fields name a date and time of day that the platform accepts (years 1601 to
// 30827, a day that the month has, milliseconds below 1000).
int CivilIsValid(const SYSTEMTIME &time);

// Milliseconds from 1601-01-01 00:00 to the time the fields name; wDayOfWeek is not read.
std::int64_t CivilMsFrom1601(const SYSTEMTIME &time);

// The time `ms` milliseconds after 1601-01-01 00:00, with its day of the week.
SYSTEMTIME CivilTimeFromMs(std::int64_t ms);

// SystemTimeToFileTime's arithmetic: 0, with *fileTime untouched, for a time the platform
// refuses.
int CivilToFileTime(const SYSTEMTIME &time, FILETIME *fileTime);

// FileTimeToSystemTime's arithmetic: 0, with *time untouched, for a FILETIME of 2^63 or more.
int CivilFromFileTime(const FILETIME &fileTime, SYSTEMTIME *time);
