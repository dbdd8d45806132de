// The computer clock's rate: the system's time adjustment, set, read back and handed back.
//
// Where the system has them (Windows 10 and later), SetSystemTimeAdjustmentPrecise and
// GetSystemTimeAdjustmentPrecise give finer units than the legacy calls (whose unit is 6.4
// ppm); they are looked up at run time, so that the program still loads where they are
// missing, and the legacy calls serve there. Either way the clock privilege is enabled just
// for the change.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

typedef BOOL(WINAPI *SetPreciseAdjustmentCall)(DWORD64 adjustment, BOOL disabled);
typedef BOOL(WINAPI *GetPreciseAdjustmentCall)(PDWORD64 adjustment, PDWORD64 increment, PBOOL disabled);

// Which call gives the clock its rate, as measured at the start: the finer one, the legacy
// one, none that moves the clock, or not yet measured.
enum RateCall { RATE_CALL_UNMEASURED, RATE_CALL_PRECISE, RATE_CALL_LEGACY, RATE_CALL_NONE };

struct ClockRateState {
    SetPreciseAdjustmentCall setPrecise;  // NULL: the legacy calls
    GetPreciseAdjustmentCall getPrecise;
    ULONGLONG increment;   // the system's time increment, in the units of the calls in use
    ULONGLONG adjustment;  // the adjustment the program set last
    int rateSet;           // 1 from a rate of the program's own until it is handed back
    RateCall call;         // the call in use
    double scale;          // its measured effect over the effect its units promise: 1 as
                           // documented, -1 reversed; 0 until measured
};

extern ClockRateState g_clockRate;

// "unmeasured", "precise", "legacy" or "none".
const char *RateCallWord(RateCall call);

// Chooses the calls, reads the increment and hands back a rate found in force. Where the
// adjustment cannot be read, every rate asked for later is refused.
void StartClockRate(TimeCheckInputs *inputs);

// The adjustment in force, read back: its rate in ppm (0 when the system keeps the clock) and
// whether it is the program's own, as set last. Returns 0 when it cannot be read.
int ReadClockRate(double *ratePpm, int *isOwn);

// Gives the clock a rate of the program's own, in whole units of the adjustment. Returns 1
// when reading the adjustment back shows it in force, 0 when it does not (the call failed or
// changed nothing), with *ratePpm the rate read back.
int SetClockRate(TimeCheckInputs *inputs, double wantedPpm, double *ratePpm);

// Hands the clock's rate back to the system, when the program has set one of its own.
void HandBackClockRate(TimeCheckInputs *inputs);
