// Every clock step on record: one information entry per correction, at most one a minute.
//
// A correction within a minute of the last entry is only counted; the next entry, after a
// quiet minute, says how many went unrecorded since the one before it. Nothing here
// allocates: it runs on the worker's thread, right after the clock was set.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

// The shortest time between two entries.
const ULONGLONG CLOCK_SET_ENTRY_SPACING_MS = 60000;

struct ClockSetLogState {
    int entryWritten;         // 1 once an entry has been written
    ULONGLONG lastEntryMs;    // GetTickCount64 when it was
    DWORD unrecorded;         // corrections since then that wrote no entry
};

extern ClockSetLogState g_clockSetLog;

// Writes the correction's entry (EVENT_CLOCK_SET), or counts it when the last entry is less
// than a minute old.
void RecordClockSet(const ClockCorrection *correction);

// No count is lost: when corrections are counted and a minute has passed since the last
// entry, or at the stop (`closing` 1), writes their count (EVENT_CLOCK_SET_COUNT). Called on
// every tick; one that has nothing counted costs a comparison.
void FlushClockSetCount(int closing);
