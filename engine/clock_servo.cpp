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
// An estimate within this half-width is steered whole. A wider one is steered whole only as
// far as it is sure of a figure; the rest, where the estimate may lie either side of the
// truth, with a gain that falls as the half-width grows: so an unbiased estimate gives an
// unbiased clock, and the most a wide estimate can pull the wrong way is what this much of
// an offset would.
const double kSureHalfWidthMs = 1;
const double kSureRateHalfWidthPpm = 5;
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

// How much of a figure to steer: the sure part whole, the rest at sure / uncertainty.
double Steered(double value, double uncertainty, double sure)
{
    if (uncertainty <= sure)
        return value;
    const double surely = Surely(value, uncertainty);
    return surely + (value - surely) * sure / uncertainty;
}

}  // namespace

double ServoRatePpm(const ServoInput &input)
{
    const double naturalPpm = Steered(input.naturalRatePpm, input.naturalRateHalfWidthPpm, kSureRateHalfWidthPpm);
    const double offsetMs = Steered(input.offsetMs, input.offsetHalfWidthMs, kSureHalfWidthMs);
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
