// Every clock step on record.
#include "service/clock_set_log.h"

#include <cstdio>

#include "service/event_log.h"
#include "service/event_messages.h"

ClockSetLogState g_clockSetLog;

namespace {

// "YYYY-MM-DD hh:mm:ss.mmm" and its terminator, with room for every field at five digits.
enum { TIME_TEXT_SIZE = 48 };

void FormatTime(const SYSTEMTIME &time, char *text)
{
    std::snprintf(text, TIME_TEXT_SIZE, "%04u-%02u-%02u %02u:%02u:%02u.%03u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

// The strings of EVENT_CLOCK_SET: %1 the time set, %2 the time before, %3 the offset in ms,
// %4 the time base, %5 the corrections not recorded since the last entry.
void WriteClockSetEntry(const ClockCorrection &correction, DWORD unrecorded)
{
    char set[TIME_TEXT_SIZE];
    char before[TIME_TEXT_SIZE];
    char offset[16];
    char count[16];
    FormatTime(correction.set, set);
    FormatTime(correction.before, before);
    std::snprintf(offset, sizeof offset, "%+ld", static_cast<long>(correction.offsetMs));
    std::snprintf(count, sizeof count, "%lu", static_cast<unsigned long>(unrecorded));
    LPCSTR strings[5] = {set, before, offset, correction.utc ? "UTC" : "local time", count};
    WriteEvent(EVENTLOG_INFORMATION_TYPE, EVENT_CLOCK_SET, 5, strings);
}

}  // namespace

void FlushClockSetCount(int closing)
{
    ClockSetLogState &log = g_clockSetLog;
    if (log.unrecorded == 0)
        return;
    const ULONGLONG nowMs = GetTickCount64();
    if (!closing && nowMs - log.lastEntryMs < CLOCK_SET_ENTRY_SPACING_MS)
        return;
    char count[16];
    std::snprintf(count, sizeof count, "%lu", static_cast<unsigned long>(log.unrecorded));
    LPCSTR strings[1] = {count};
    WriteEvent(EVENTLOG_INFORMATION_TYPE, EVENT_CLOCK_SET_COUNT, 1, strings);
    log.lastEntryMs = nowMs;
    log.unrecorded = 0;
}

void RecordClockSet(const ClockCorrection *correction)
{
    // GetTickCount64 counts from the system's start and does not move with the clock that
    // was just set.
    const ULONGLONG nowMs = GetTickCount64();
    ClockSetLogState &log = g_clockSetLog;
    if (log.entryWritten && nowMs - log.lastEntryMs < CLOCK_SET_ENTRY_SPACING_MS) {
        ++log.unrecorded;
        return;
    }
    WriteClockSetEntry(*correction, log.unrecorded);
    log.entryWritten = 1;
    log.lastEntryMs = nowMs;
    log.unrecorded = 0;
}
