// The computer clock's rate: the system's time adjustment, set, read back and handed back.
//
// Two calls set it. The legacy SetSystemTimeAdjustment adds `adjustment` 100 ns units to the
// clock at each tick of `increment` units (one unit is 6.4 ppm on the default tick). Where the
// system has them (Windows 10 and later), SetSystemTimeAdjustmentPrecise and its reader give
// finer units; they are looked up at run time, so that the program still loads where they are
// missing. Microsoft documents their adjustment only as "the adjusted clock update frequency",
// so the units promise a rate and nothing more: the precise mode sets a trial rate with each
// call and measures what the clock did (engine/precise_clock), and steers with the call and the
// scale it measured. Either way the clock privilege is enabled just for the change.
//
// Windows keeps an adjustment in force after the process that set it ends, until a restart.
// The program marks its own in the service's volatile key (engine/rate_mark), so that a rate a
// crashed run of its own left is handed back at the next start, and a rate another time service
// set is never touched.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

typedef BOOL(WINAPI *SetPreciseAdjustmentCall)(DWORD64 adjustment, BOOL disabled);
typedef BOOL(WINAPI *GetPreciseAdjustmentCall)(PDWORD64 adjustment, PDWORD64 increment, PBOOL disabled);

// Which call gives the clock its rate, as measured at the start: the finer one, the legacy
// one, none that moves the clock, or not yet measured.
enum RateCall { RATE_CALL_UNMEASURED, RATE_CALL_PRECISE, RATE_CALL_LEGACY, RATE_CALL_NONE };

// What was in force when the program looked first.
enum RateFound {
    RATE_FOUND_NONE,      // the system keeps the clock
    RATE_FOUND_OWN,       // a rate a run of this program left: handed back
    RATE_FOUND_FOREIGN,   // another's rate: left alone
    RATE_FOUND_UNREADABLE // the adjustment cannot be read: no rate is ever set
};

struct ClockRateState {
    SetPreciseAdjustmentCall setPrecise;  // NULL where the system has not the finer calls
    GetPreciseAdjustmentCall getPrecise;
    ULONGLONG preciseIncrement;  // each call's increment, in its own units; 0: unknown
    ULONGLONG legacyIncrement;
    RateCall call;         // the call in use
    double scale;          // its measured effect over the effect its units promise: 1 as
                           // documented, -1 reversed; 0 until measured
    ULONGLONG adjustment;  // the adjustment the program set last, in the units of its call
    RateCall setWith;      // and the call it set it with
    int rateSet;           // 1 from a rate of the program's own until it is handed back
};

extern ClockRateState g_clockRate;

// "unmeasured", "precise", "legacy" or "none".
const char *RateCallWord(RateCall call);

// Looks the finer calls up, into g_clockRate; both NULL where the system has not both. Only
// looks: -measure reports the adjustment with them and never sets one.
void FindPreciseCalls(void);

// Chooses the calls, reads their increments, and looks at the rate in force: a rate the
// program's mark shows as its own is handed back; any other is left alone. Both modes call it
// at the start.
RateFound StartClockRate(TimeCheckInputs *inputs);

// For a trial: gives the clock a rate with `call`, as its units promise it (nominalPpm), in
// whole units: *promisedPpm is what the whole units promise. Returns 1 when reading back shows
// it in force.
int SetTrialRate(TimeCheckInputs *inputs, RateCall call, double nominalPpm, double *promisedPpm);

// The call to steer with from now on, and its measured scale.
void UseRateCall(RateCall call, double scale);

// The adjustment in force, read back: its rate in ppm as the call in use moves the clock (0
// when the system keeps the clock) and whether it is the program's own, as set last. Returns
// 0 when it cannot be read.
int ReadClockRate(double *ratePpm, int *isOwn);

// Whether a rate of another's is in force: the system does not keep the clock, and the
// adjustment is not the program's own (even one of the clock's nominal rate).
int OthersRateInForce(void);

// Gives the clock a rate of the program's own with the call in use, in whole units of its
// adjustment. Returns 1 when reading it back shows it in force, 0 when it does not (the call
// failed or changed nothing), with *ratePpm the rate read back and *foreign 1 when what is in
// force is a rate of another's.
int SetClockRate(TimeCheckInputs *inputs, double wantedPpm, double *ratePpm, int *foreign);

// Hands the clock's rate back to the system, when the rate in force is the program's own.
void HandBackClockRate(TimeCheckInputs *inputs);
