// The precise mode: the computer clock held within about a millisecond of the board's second
// edge, slewed by its rate, stepped only when it is beyond the slop.
//
// Every tick reads the board once, between two reads of the performance counter, and follows
// the seconds' edges (engine/edge_fit): a few comparisons; a word that shows a new second is
// read again, and counts only when the two agree. Once a second, on the tick that closes an
// edge's bracket (or every 2 s while the board is silent), the fit gives the
// board's time against the counter, the computer clock is read against the counter too, and
// their difference, the offset, decides: beyond the slop the clock is stepped to the board's
// time; within it the servo (engine/clock_servo) gives the clock a rate (engine/clock_rate)
// that feeds the clock's own rate error forward and removes the offset within a minute or two.
// Each change is checked by what the clock shows afterwards against the counter. When the
// clock does not follow (another time service sets it, or the system ignores the call), the
// mode says so once, hands the rate back, and only measures for an hour before it tries again.
//
// At the console it prints, once it has a first estimate, one line a second:
//   " Offset %+.3f ms +/- %.3f ms, rate %+.2f ppm, %s \n"
// the offset (the computer minus the board), the estimate's half-width, the rate in force, and
// acquiring, locked, stepped or monitoring.
#pragma once

#include <windows.h>

#include "engine/edge_fit.h"
#include "engine/time_check.h"

enum PreciseState {
    PRECISE_ACQUIRING,  // the estimate or the offset is not yet within a millisecond
    PRECISE_LOCKED,     // both are
    PRECISE_STEPPED,    // the clock was stepped this second
    PRECISE_MONITORING, // the clock did not follow the rates, or another's rate is in force:
                        // steps only, no rate, for an hour
    PRECISE_HOLDOVER,   // no new edge for 5 s: the last good rate kept, nothing compared
    PRECISE_LIMITED     // the clock's own rate error is beyond what a rate can take back:
                        // held within the slop by steps
};

// What the precise mode warns of once, beyond a step or rate not followed.
enum PreciseWarning {
    PRECISE_WARNING_NO_PRIVILEGE,  // detail: the system's text for the error; only measuring
    PRECISE_WARNING_LIMITED,       // detail: the clock's own rate, as "+620.0 ppm"
    PRECISE_WARNING_NO_RATE_CALL,  // neither rate call moved the clock: steps only
    PRECISE_WARNING_RIVAL_RATE     // detail: the rate in force, as "+12.50 ppm": another's,
                                   // left alone; steps only
};

// The one who runs the precise mode hears of what it cannot do through these (each NULL: the
// trace alone says so).
struct PreciseReporter {
    void (*ignored)(const char *adjustment);  // "step" or "rate" was not followed
    void (*warn)(PreciseWarning warning, const char *detail);
};

// The computer clock against the counter: where it stood at the anchor, and how much the
// program's own rates have moved it since.
struct ClockTrack {
    LONGLONG anchorCount;
    LONGLONG anchorClock;  // UTC, in 100 ns units (FILETIME)
    double slewedS;        // added by the rates the program set, since the anchor
};

struct PreciseClockState {
    TimeCheckInputs inputs;                   // as the worker's start-up gave them
    PreciseReporter reporter;
    LONGLONG countsPerSecond;                 // the counter's frequency
    LONGLONG mostBracketCounts;               // the widest bracket that places an edge
    LONGLONG holdoverCounts;                  // the longest wait for the second's work
    DWORD timeCodeWord;                       // the word most recently read
    EdgeTracker tracker;
    EdgeFit fit;
    LONGLONG lastWorkCount;   // the counter at the last second's work
    LONGLONG lastClockCount;  // and at the clock read it made
    ClockTrack sinceAnchor;   // from the start, the last step, or the end of monitoring
    ClockTrack sinceCheck;    // from the last check of the rate
    double naturalRate;       // the clock's own rate against the counter, less 1
    int naturalRateKnown;     // 1 once measured; the servo waits for it
    double ratePpm;           // the rate in force, as read back
    PreciseState state;
    LONGLONG monitoringUntilCount;
    int noEffectTold;  // 1 once the clock's not following was told, until it follows again
    double offsetMs;   // the latest second's figures
    double halfWidthMs;
    // For the service's published state: seconds measured, of them beyond the slop, and steps
    // that moved the clock, since the start; when the latest of each was (UTC, FILETIME units).
    DWORD comparisons;
    DWORD outOfStep;
    DWORD steps;
    LONGLONG lastComparisonAt;
    LONGLONG lastStepAt;
};

extern PreciseClockState g_preciseClock;

// Prepares the mode with the inputs the time-code check gets, and the reporter it tells what
// it cannot do.
void StartPreciseClock(const TimeCheckInputs *inputs, const PreciseReporter *reporter);

// One polling tick.
void PreciseTick(void);

// "acquiring", "locked", "stepped", "monitoring", "holdover" or "limited".
const char *PreciseStateWord(PreciseState state);

// For the closing sequence: hands the clock's rate back to the system when the program set
// one of its own.
void StopPreciseClock(void);
