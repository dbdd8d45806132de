// What the running worker tells of itself, for `-status` and for monitoring systems. The
// worker takes it on the first tick after 5 s have passed since it last did, and at each
// correction, and hands it to its reporter; as a service, service/status_publish writes it to
// the registry. Times are UTC, in FILETIME units (100 ns since 1601); 0 means none yet.
#pragma once

#include <windows.h>

struct WorkerStatus {
    int precise;                 // 1: the precise mode
    DWORD familyCode;            // the board found: 1 TAV, 2 BRQ, 80 FENLO
    DWORD boardAddress;
    ULONGLONG startedAt;         // the end of the start-up
    ULONGLONG lastComparisonAt;
    LONG lastOffsetMs;           // the computer minus the board at the latest comparison
    ULONGLONG lastCorrectionAt;
    DWORD comparisons;           // since the start: in the precise mode, seconds measured
    DWORD outOfStep;             // of them beyond the slop
    DWORD corrections;           // changes of the clock (the precise mode's steps)
    // The precise mode's latest second: the offset, the estimate's half-width, the rate in
    // force and the state word ("acquiring", "locked", "stepped", "monitoring", "holdover",
    // "limited"; NULL in the other mode).
    double offsetMs;
    double halfWidthMs;
    double ratePpm;
    const char *state;
    // The call that gives the clock its rate ("precise", "legacy", "none", "unmeasured") and
    // its measured scale (1: as documented; NULL and 0 in the other mode).
    const char *rateCall;
    double rateScale;
    ULONGLONG takenAt;
    // The system's tick count (ms since the machine started, GetTickCount64) when the status
    // was taken and at each time above, 0 for none: ages that no step of the clock changes.
    ULONGLONG takenTickMs;
    ULONGLONG startedTickMs;
    ULONGLONG lastComparisonTickMs;
    ULONGLONG lastCorrectionTickMs;
};

// The status as the records stand now; the start's times as the worker kept them.
void TakeWorkerStatus(ULONGLONG startedAt, ULONGLONG startedTickMs, WorkerStatus *status);

// The clock now, UTC in FILETIME units.
ULONGLONG UtcNow(void);
