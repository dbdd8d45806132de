// The precise mode's servo: which rate to give the computer clock, and that rate in the units
// of the system's time adjustment.
//
// Pure code, no platform call.
#pragma once

#include <windows.h>

// The most the servo changes the clock's rate, either way, in ppm: 500 ppm slews 150 ms, the
// default slop, in five minutes, and stays far below what any program may notice.
const double SERVO_MOST_RATE_PPM = 500;

// What the servo is given: the offset (the computer minus the board) and the clock's own rate
// against the board (positive: it runs fast), each with the half-width of its estimate.
struct ServoInput {
    double offsetMs;
    double offsetHalfWidthMs;
    double naturalRatePpm;
    double naturalRateHalfWidthPpm;
};

// The rate to give the computer clock, in ppm (positive: faster): the natural rate fed
// forward and the offset removed over the servo's time constant, each whole as far as its
// estimate is sure of it and the rest with a gain that falls as the estimate widens, bounded
// at SERVO_MOST_RATE_PPM.
double ServoRatePpm(const ServoInput &input);

// The system's time adjustment for a rate, and the rate of an adjustment. The clock advances
// by `adjustment` for each `increment` of time, in whatever units the call uses (the legacy
// call: 100 ns per 15.625 ms tick, so one unit is 6.4 ppm), so the rate is adjustment /
// increment - 1. The adjustment is the nearest whole unit.
ULONGLONG AdjustmentForRate(ULONGLONG increment, double ratePpm);
double RateForAdjustment(ULONGLONG adjustment, ULONGLONG increment);
