// The precise mode: the computer clock held within about a millisecond of the board's second
// edge, slewed by its rate, and stepped, in every state, whenever it is surely beyond the slop.
//
// Every tick reads the board once, between two reads of the performance counter, and follows
// the seconds' edges (engine/edge_fit): a word that shows a new second is read again, and
// counts only when the two agree. Once a second, on the tick that closes an edge's bracket (or
// every 2 s while the board is silent), the fit gives the board's time against the counter,
// the computer clock is read against the counter too, and their difference, the offset,
// decides: beyond the slop the clock is stepped to the board's time; within it the servo
// (engine/clock_servo) gives the clock a rate (engine/clock_rate) that feeds the clock's own
// rate error forward and removes the offset within a minute or two.
//
// The rate is earned: first the clock's own rate is measured for 16 s, then each rate call is
// tried with a small rate for a few seconds, and the servo steers with the call whose effect
// was measured, by the direction and scale measured. The clock is then watched against the
// counter every second: a jump is a one-off change from outside (a step, a resume), after
// which the mode goes on at once; a clock that drifts off the rates in two checks in a row, or
// a rate read back that is not the program's, means another time service or a system that
// ignores the call, and the mode only steps for an hour. A counter that moved unlike the
// system's tick count drops the fit; after that, or after the fit starts again, a step waits
// for two brackets that agree. Without an edge for 5 s the mode is in holdover: the rate stays,
// nothing is compared.
//
// At the console it prints, once it has a first estimate, one line a second:
//   " Offset %+.3f ms +/- %.3f ms, rate %+.2f ppm, %s \n"
// the offset (the computer minus the board), the estimate's half-width, the rate in force, and
// acquiring, locked, stepped, monitoring, holdover or limited.
#pragma once

#include <windows.h>

#include "engine/clock_rate.h"
#include "engine/edge_fit.h"
#include "engine/time_check.h"

enum PreciseState {
    PRECISE_ACQUIRING,  // the clock is not yet surely within 2 ms of the board, or the rate is
                        // not yet earned
    PRECISE_LOCKED,     // it is: the offset and the estimate's half-width add up to 2 ms or less
    PRECISE_STEPPED,    // the clock was stepped this second
    PRECISE_MONITORING, // the clock did not follow the rates, or another's rate is in force:
                        // steps only, no rate, for an hour
    PRECISE_HOLDOVER,   // no new edge for 5 s: the last good rate kept, nothing compared
    PRECISE_LIMITED     // the clock's own rate error is beyond what a rate can take back:
                        // held within the slop by steps
};

// What the precise mode warns of once, beyond a step or rate not followed.
enum PreciseWarning {
    PRECISE_WARNING_NO_PRIVILEGE,  // detail: the error, in decimal ("1300"); only measuring
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

// How the mode runs: the board's delay (its second began so long before the edge the library
// shows: every offset is taken against the board's time so corrected), and whether it only
// measures for -measure, never touching the clock, its rate or the privilege.
struct PreciseOptions {
    double edgeDelayMs;
    int measureOnly;
};

// The computer clock against the counter: where it stood at the anchor, and how much the
// program's own rates have moved it since.
struct ClockTrack {
    LONGLONG anchorCount;
    LONGLONG anchorClock;  // UTC, in 100 ns units (FILETIME)
    double slewedS;        // added by the rates the program set, since the anchor
};

// Where the mode stands with the clock's rate: measuring the clock's own, trying a rate call,
// steering with the call it measured, or never setting a rate (no call moves the clock, the
// adjustment cannot be read, or the clock privilege cannot be enabled).
enum RatePhase { PHASE_NATURAL, PHASE_TRIAL, PHASE_STEERING, PHASE_NO_RATE };

// Why the mode only measures and steps, and sets no rate.
enum MonitoringReason {
    MONITORING_NONE,
    MONITORING_NOT_FOLLOWED,  // the clock did not follow the rates: for an hour
    MONITORING_RIVAL,         // another's rate is in force: for an hour, then looked at again
    MONITORING_NO_RATE,       // for good: no call moves the clock
    MONITORING_NO_PRIVILEGE   // for good, and without steps
};

struct PreciseClockState {
    TimeCheckInputs inputs;  // as the worker's start-up gave them
    PreciseReporter reporter;
    LONGLONG countsPerSecond;    // the counter's frequency
    LONGLONG mostBracketCounts;  // the widest bracket that places an edge
    LONGLONG workCounts;         // the longest wait for the second's work
    LONGLONG holdoverCounts;     // without an edge for this long: holdover
    DWORD timeCodeWord;          // the word most recently read
    EdgeTracker tracker;
    EdgeFit fit;
    EdgeBracket newestBracket;  // the newest bracket offered to the fit
    int haveNewest;             // 1 once one was, since the start or a discontinuity
    int newestTaken;            // 1 when the fit took it: the estimate is current
    LONGLONG lastEdgeCount;     // the counter at the newest bracket's end
    ULONGLONG lastTickMs;       // the system's tick count and the counter at the last tick,
    LONGLONG lastTickCount;     // to tell a counter that jumped or stood still
    int tracksStale;            // 1 after a discontinuity: the tracks start again
    LONGLONG lastWorkCount;     // the counter at the last second's work
    LONGLONG lastClockCount;    // and at the clock read it made
    ClockTrack sinceAnchor;     // from the start of a measurement, a step or a change
    ClockTrack sinceCheck;      // from the last check of the rate
    double lastCheckDifferenceS;  // how far the clock was off its track at the last second
    RatePhase phase;
    double naturalRate;      // the clock's own rate against the counter, less 1
    int naturalRateKnown;    // 1 once measured
    RateCall trialCall;      // the call on trial, and the rate its units promise
    double trialNominalPpm;
    int trialRaised;         // 1 when the finer call, which did nothing at first, is tried at more
    RateCall coarseCall;     // a call that moved the clock, coarser than the other may be
    double coarseScale;
    double ratePpm;          // the rate in force, as read back (0 while it is not yet known)
    MonitoringReason monitoring;
    LONGLONG monitoringUntilCount;
    int notFollowedChecks;   // checks in a row the rates were not followed at
    int limited;             // 1 while the clock's own rate is beyond the servo's bound
    int locked;
    int steppedThisSecond;
    PreciseState state;
    PreciseOptions options;
    // For -measure: from the first second with the estimate within 2 ms on, the seconds
    // measured and the sums of the offset and of its square (ms, ms^2).
    int measureLocked;
    DWORD measuredSeconds;
    double measuredSumMs;
    double measuredSumSquaresMs;
    int stepNotFollowedTold;  // 1 once a step not followed was told, until one lands
    int rateNotFollowedTold;  // 1 once rates not followed were told, until they are
    int limitedTold;
    int rivalTold;
    double stepBackoffS;      // after a step that did not land, the wait before the next
    LONGLONG nextStepCount;   // no step before the counter reaches this
    double offsetMs;          // the latest second's figures
    double halfWidthMs;
    // For the service's published state: seconds compared with a fresh edge, of them beyond
    // the slop, and steps that moved the clock, since the start; when the latest of each was
    // (UTC, FILETIME units).
    DWORD comparisons;
    DWORD outOfStep;
    DWORD steps;
    LONGLONG lastComparisonAt;
    LONGLONG lastStepAt;
    ULONGLONG lastComparisonTickMs;  // the system's tick count (ms) at each, 0 for none
    ULONGLONG lastStepTickMs;
};

extern PreciseClockState g_preciseClock;

// Prepares the mode with the inputs the time-code check gets, the reporter it tells what it
// cannot do, and how it runs.
void StartPreciseClock(const TimeCheckInputs *inputs, const PreciseReporter *reporter, const PreciseOptions *options);

// One polling tick.
void PreciseTick(void);

// "acquiring", "locked", "stepped", "monitoring", "holdover" or "limited".
const char *PreciseStateWord(PreciseState state);

// For the closing sequence: hands the clock's rate back to the system when the program set
// one of its own.
void StopPreciseClock(void);
