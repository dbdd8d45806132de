// The precise mode's servo.
#include "engine/clock_servo.h"

namespace {

// The offset is removed over this many seconds. Each second's estimate of the edge moves by a
// few tenths of a ms as brackets come and go; over 30 s that is a rate of a few ppm, far below
// the drift it corrects, while a step's leftover of up to 26 ms is gone within two minutes
// (the simulation, docs/accuracy.md). Shorter passes the estimate's noise into the rate;
// longer leaves the offset of a wandering drift uncorrected longer.
const double kTimeConstantS = 30;
const double kPpm = 1e6;
const double kMsPerS = 1000;

}  // namespace

double ServoRatePpm(double offsetMs, double naturalRatePpm)
{
    const double ratePpm = -naturalRatePpm - offsetMs / kMsPerS / kTimeConstantS * kPpm;
    if (ratePpm > SERVO_MOST_RATE_PPM)
        return SERVO_MOST_RATE_PPM;
    if (ratePpm < -SERVO_MOST_RATE_PPM)
        return -SERVO_MOST_RATE_PPM;
    return ratePpm;
}

ULONGLONG AdjustmentForRate(ULONGLONG increment, double ratePpm)
{
    const double adjustment = static_cast<double>(increment) * (1 + ratePpm / kPpm);
    return static_cast<ULONGLONG>(adjustment + 0.5);
}

double RateForAdjustment(ULONGLONG adjustment, ULONGLONG increment)
{
    if (increment == 0)
        return 0;
    return (static_cast<double>(adjustment) / static_cast<double>(increment) - 1) * kPpm;
}
