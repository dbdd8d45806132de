// -measure's run: the board measured against this computer's clock, which is never touched.
//
// It opens the reader library and finds the board as the worker's start-up does (two passes,
// traced at the console), asks for the 1 ms system timer and times a few of its own 51 ms waits
// by the counter, then runs the precise mode measuring only (PreciseOptions::measureOnly): one
// PreciseTick every 51 ms on the stop event, the engine's trace printing the Board line of each
// second, until its seconds have run out or a stop is asked for (RequestStop). No step, no rate,
// no privilege, no priority class, no protection of the program's file: a plain user may run
// it where the reader library lets them, and the clock may be kept meanwhile by the reference
// it is measured against.
#pragma once

#include <windows.h>

#include "engine/clock_worker.h"
#include "engine/precise_clock.h"

// How many 51 ms waits are timed to tell the timer's period: enough to see a 15.625 ms tick
// in every one, few enough to take a quarter of a second.
inline constexpr int kTimedWaits = 5;

struct MeasuringRunState {
    int timerGranted;        // 1 while the 1 ms system timer is held
    int waitsTimed;          // the timed waits (fewer when a stop came first)
    double waitMeanMs;       // and how long they lasted, by the counter
    double waitLongestMs;
    double ranS;             // how long the measurement ran, by the counter
};

extern MeasuringRunState g_measuringRun;

// Creates the stop event, asks for the 1 ms timer and times kTimedWaits waits of 51 ms on the
// event. Returns 0, with the system's error as the last error, when the event could not be
// created; nothing is held then.
int PrepareMeasuring(void);

// Opens the reader library and finds the board: STARTUP_SUCCEEDED, STARTUP_NO_LIBRARY or
// STARTUP_NO_BOARD.
StartupFailure FindBoardToMeasure(void);

// Measures the board for `seconds`, or until a stop is asked for, in the time base and with the
// board's delay of g_settings (the delay only in the precise mode, as the service takes it).
// It polls every 51 ms by the counter, each wait shortened by what the last one overran.
void MeasureBoard(DWORD seconds);

// Gives the timer back, if it was granted, and closes the stop event.
void EndMeasuring(void);

// What the measurement says, from the seconds after its first lock (an estimate within 2 ms).
struct MeasureSummary {
    int locked;        // 1 once the estimate was within 2 ms
    DWORD seconds;     // the seconds measured from then on
    double meanMs;     // the Board figure's mean over them, and its standard deviation
    double spreadMs;
    double delayMs;    // the board's delay that would bring the mean to 0: the delay measured
                       // with plus the mean, to 0.1 ms
};

// Pure: the summary of the sums the precise mode kept while measuring only.
MeasureSummary SummarizeMeasurement(const PreciseClockState &measured);
