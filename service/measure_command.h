// `RUZivEr2 -measure [seconds]`: the board measured against this computer's clock, to find the
// board's delay (docs/calibration.md). The clock is never changed: no step, no rate, no
// privilege; a plain user may run it where the reader library lets them.
//
// Unless the service runs (then it says so and ends at once, the board untouched: two programs
// on one board are not safe, and a clock the service keeps is no reference), it prints the
// machine's lines (service/machine_report, then Windows' time service, the board found and the
// stored settings as -status prints them), measures for the seconds given (120 without them,
// 1 to 86400) with the precise mode's " Board " line each second, until the time runs out or
// Ctrl+C or Ctrl+Break, and ends with a summary and, once it locked, the delay it proposes:
//
//   Seconds measured: 85, from the first within 2 ms on, in 90 s
//   Board against this clock: mean +40.012 ms, spread 0.180 ms (standard deviation)
//   If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is 40.0 ms: RUZivEr2 -load L 150 precise 40.0
//
// No pause at the end.
#pragma once

#include <windows.h>

#include "engine/measuring_run.h"

// The exit statuses.
enum MeasureExit {
    MEASURE_LOCKED = 0,        // the estimate came within 2 ms: a delay is proposed
    MEASURE_NEVER_LOCKED = 1,  // it never did
    MEASURE_NO_BOARD = 2,      // no reader library, no board (or no stop event)
    MEASURE_SERVICE_RUNS = 3,  // the service is not stopped, or the manager did not say
    MEASURE_REFUSED = 4        // the seconds were not a number from 1 to 86400
};

// The seconds from -measure's arguments (argv[2], the only one it takes): 120 without it, else
// a number of decimal digits from 1 to 86400. Returns 0 for anything else.
int ParseMeasureSeconds(int argc, char **argv, DWORD *seconds);

// Ctrl+C and Ctrl+Break end the measurement, which then prints its summary.
BOOL WINAPI MeasureControl(DWORD controlType);

// Prints the summary of a measurement that ran g_measuringRun.ranS, with the -load command
// for g_settings' time base and slop. Returns MEASURE_LOCKED or MEASURE_NEVER_LOCKED.
int ReportMeasurement(const MeasureSummary &summary);

// Returns a MeasureExit.
int RunMeasureCommand(int argc, char **argv);
