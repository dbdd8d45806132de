// The precise mode's servo.
#include "engine/clock_servo.h"

namespace {

// The offset is removed over this many seconds. Once locked, the clock is as close as the
// estimate of the board's edge is good, whatever this is: the simulation (docs/accuracy.md)
// gave a mean |offset| of 0.21 to 0.34 ms at 3, 10 and 30 s alike. It decides how soon the
// clock locks after the first step: at 30 s a clock 100 ppm fast took up to 281 s, near the
// 300 s the mode promises, at 10 s up to 170 s. At 3 s it locked no sooner on the whole, and
// every 0.3 ms the estimate moves as brackets come and go would move the rate by 100 ppm.
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
