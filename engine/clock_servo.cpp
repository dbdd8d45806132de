// The precise mode's servo.
#include "engine/clock_servo.h"

namespace {

// The offset is removed over this many seconds. The estimate of the edge moves by a few
// tenths of a ms as brackets come and go, which over 10 s is a rate of tens of ppm, far within
// the bound, and the clock follows the estimate closely: every ppm by which the fed-forward
// rate is wrong leaves only 10 us of offset. At 30 s that leftover was three times as large,
// and at 3 s the quantised legacy rate (6.4 ppm a unit) dithered (the simulation,
// docs/accuracy.md).
const double kTimeConstantS = 10;
// Within this half-width the whole offset is steered; beyond it, only the part the estimate is
// sure of, so that an early, wide estimate does not pull the clock away from the board.
const double kSureHalfWidthMs = 1;
const double kPpm = 1e6;
const double kMsPerS = 1000;

// The part of a figure that is surely there: its distance from zero less the uncertainty,
// with its sign; zero when the uncertainty reaches across zero.
double Surely(double value, double uncertainty)
{
    if (value > uncertainty)
        return value - uncertainty;
    if (value < -uncertainty)
        return value + uncertainty;
    return 0;
}

}  // namespace

double ServoRatePpm(const ServoInput &input)
{
    const double naturalPpm = Surely(input.naturalRatePpm, input.naturalRateHalfWidthPpm);
    const double offsetUncertaintyMs = input.offsetHalfWidthMs > kSureHalfWidthMs ? input.offsetHalfWidthMs - kSureHalfWidthMs : 0;
    const double offsetMs = Surely(input.offsetMs, offsetUncertaintyMs);
    const double ratePpm = -naturalPpm - offsetMs / kMsPerS / kTimeConstantS * kPpm;
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
