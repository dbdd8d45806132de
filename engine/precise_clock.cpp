// The precise mode.
#include "engine/precise_clock.h"

#include <cmath>
#include <cstdio>

#include "base/console_output.h"
#include "base/file_time.h"
#include "engine/clock_servo.h"
#include "engine/clock_setting.h"
#include "reader/nttc_reader.h"

PreciseClockState g_preciseClock;

namespace {

const double kFileTimeUnitsPerS = 1e7;
const LONGLONG kFileTimeUnitsPerDay = 864000000000LL;
const LONGLONG kFileTimeUnitsPerMs = 10000;
const double kMsPerS = 1000;
const double kPpm = 1e6;
const double kSecondsPerDay = 86400;

// A bracket wider than this places nothing (a poll delayed by a busy machine, or failed
// reads between): a normal one is a poll, 52 to 53 ms.
const double kMostBracketS = 0.120;
// Without an edge for this long (a silent board), the second's work runs on the counter.
const double kWorkWithoutEdgeS = 2;
// Without an edge for this long the board gives no time: holdover.
const double kHoldoverS = 5;
// A clock read between two counter reads further apart than this was interrupted: read again.
const double kTightClockReadS = 20e-6;
const int kClockReadTries = 3;
// The counter and the system's tick count (10 to 16 ms a tick) may part by this much between
// two ticks before the counter is taken to have jumped or stood still.
const double kMostCounterJumpS = 0.5;
// The clock's own rate is measured over this long before a rate is tried.
const double kNaturalRateS = 16;
// A trial: a rate the call's units promise to be this many ppm, toward the board, for at
// most kTrialS, or until the clock has moved kTrialMovedS more than its own rate says. A call
// whose trial moved the clock by less than a tenth of kTrialPpm does not move it. The finer
// call's units are not documented well enough to rule out a scale far below its promise: one
// that does nothing is tried once more at kRaisedTrial times the rate, which a call as
// documented would have shown already.
const double kTrialPpm = 50;
const double kRaisedTrial = 1000;
const double kTrialS = 8;
const double kTrialMovedS = 1e-3;
const double kLeastTrialScale = 0.1;
// Every so long the clock's advance against the counter is checked against the rates in
// force; a difference of more than kMostRateDifferenceS means it did not follow them. Two
// such checks in a row, and the mode stops setting rates.
const double kRateCheckS = 32;
const double kMostRateDifferenceS = 1e-3;
const int kChecksNotFollowed = 2;
// In one second no rate moves the clock by more than this against its track (the servo's
// bound and what is left of the clock's own rate error): more is a change from outside.
// While the clock's own rate is not yet known, it may add up to the counter's bound.
const double kOutsideChangeS = 0.6e-3;
const double kUnknownRateBound = 1e-3;
// After a step the clock must be within this of the board's time.
const double kStepToleranceS = 5e-3;
// Steps come at most every kStepSpacingS, as in the other mode, which steps at the second
// out-of-step comparison in a row; one the clock did not follow doubles the wait, up to
// kMostStepBackoffS.
const double kStepSpacingS = 2;
// A clock the rate does not hold is stepped when a narrow estimate (within kNarrowS, its rate
// within kNarrowRate) says it may be beyond the slop within kStepLeadS.
const double kNarrowS = 2e-3;
const double kNarrowRate = 20e-6;
const double kStepLeadS = 5;
const double kMostStepBackoffS = 64;
// Locked: the clock surely within 2 ms of the board (the offset and the estimate's half-width
// add up to no more); the lock holds until they add up to more than 10 ms. The bound is on
// the sum, not on each: a half-width that narrows slowly (slow reads, polls that keep to a
// few places of the second) with the offset well within it is as sure a lock.
const double kLockS = 2e-3;
const double kHoldLockS = 10e-3;
const double kMonitoringS = 3600;

const char *const kStateWords[] = {"acquiring", "locked", "stepped", "monitoring", "holdover", "limited"};

struct ClockReading {
    LONGLONG count;     // the counter, midway between the reads around the clock's
    LONGLONG fileTime;  // the clock, UTC
};

LONGLONG CountsFor(double seconds) { return static_cast<LONGLONG>(seconds * g_preciseClock.countsPerSecond); }

double SecondsOf(LONGLONG counts) { return static_cast<double>(counts) / g_preciseClock.countsPerSecond; }

LONGLONG ReadCounter(void)
{
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

void Tell(PreciseWarning warning, const char *detail)
{
    if (g_preciseClock.reporter.warn)
        g_preciseClock.reporter.warn(warning, detail);
}

int DecodeBcd(BYTE packed) { return (packed >> 4) * 10 + (packed & 0x0F); }

// The word's second of the day, or -1 for a word that names no time of day. The frame/status
// byte is not looked at: what it holds is the reader library's affair.
LONG SecondOfDay(DWORD word)
{
    const int hours = DecodeBcd(static_cast<BYTE>(word >> 24));
    const int minutes = DecodeBcd(static_cast<BYTE>(word >> 16));
    const int seconds = DecodeBcd(static_cast<BYTE>(word >> 8));
    if (hours > 23 || minutes > 59 || seconds > 59)
        return -1;
    return (hours * 60 + minutes) * 60 + seconds;
}

// A word that shows a new second counts only when a second read, right after it, shows the
// same: a word read while the board updates it may carry the next second's seconds too early.
// Once a second, so the polling path pays for it on the tick of an edge only.
int ReadAgainShows(DWORD word)
{
    DWORD again = 0;
    return NttcReadTime(&again, &g_preciseClock.inputs.boardAddress) && again == word;
}

// The clock between two counter reads, read again when something came between them.
ClockReading ReadClockAgainstCounter(void)
{
    ClockReading reading = {0, 0};
    LONGLONG tightest = 0;
    for (int attempt = 0; attempt < kClockReadTries; ++attempt) {
        FILETIME now;
        const LONGLONG before = ReadCounter();
        GetSystemTimePreciseAsFileTime(&now);
        const LONGLONG width = ReadCounter() - before;
        if (attempt == 0 || width < tightest) {
            tightest = width;
            reading = ClockReading{before + width / 2, static_cast<LONGLONG>(FileTimeValue(now))};
        }
        if (width <= CountsFor(kTightClockReadS))
            break;
    }
    return reading;
}

// A UTC clock value in the time base the settings word chose: local time with the offset
// from UTC in force now, so that a change of daylight saving needs no case of its own.
LONGLONG InTimeBase(LONGLONG utc)
{
    if (g_preciseClock.inputs.useUtc)
        return utc;
    const FILETIME utcTime = ToFileTime(static_cast<ULONGLONG>(utc));
    FILETIME localTime;
    if (!FileTimeToLocalFileTime(&utcTime, &localTime))
        return utc;
    return static_cast<LONGLONG>(FileTimeValue(localTime));
}

// The computer minus the board, in s, the short way round the day: the board gives only the
// time of day, and the day that makes the offset smallest is the board's.
double OffsetS(LONGLONG clockInTimeBase, double boardSecondOfDay)
{
    const double computerSecondOfDay = static_cast<double>(clockInTimeBase % kFileTimeUnitsPerDay) / kFileTimeUnitsPerS;
    double offset = std::fmod(computerSecondOfDay - boardSecondOfDay, kSecondsPerDay);
    if (offset > kSecondsPerDay / 2)
        offset -= kSecondsPerDay;
    else if (offset <= -kSecondsPerDay / 2)
        offset += kSecondsPerDay;
    return offset;
}

// The clock against the board at a reading.
struct Measurement {
    double offsetS;     // the computer minus the board
    double halfWidthS;  // of the board's time, so of the offset
    double counterRate; // the counter against the board, less 1
    double counterRateHalfWidth;
    int current;        // 1: from a fit that took the newest bracket
};

// The board's time from the newest bracket alone, which the fit did not take: the board or
// the counter jumped, and until two brackets agree this is all that is known of the present.
BoardTimeEstimate FromNewestBracket(LONGLONG count)
{
    const EdgeBracket &b = g_preciseClock.newestBracket;
    const double middleS = SecondsOf(count - (b.earliestCount + b.latestCount) / 2);
    return BoardTimeEstimate{b.secondOfDay + middleS, SecondsOf(b.latestCount - b.earliestCount) / 2, 0,
                             kUnknownRateBound};
}

// Returns 0 before the first bracket since the start or a discontinuity.
int Measure(const ClockReading &reading, Measurement *measured)
{
    const PreciseClockState &p = g_preciseClock;
    if (!p.haveNewest)
        return 0;
    BoardTimeEstimate board;
    const int current = p.newestTaken && EstimateBoardTime(&p.fit, reading.count, &board);
    if (!current)
        board = FromNewestBracket(reading.count);
    const double boardSecondOfDay = board.secondOfDay + p.options.edgeDelayMs / kMsPerS;
    *measured = Measurement{OffsetS(InTimeBase(reading.fileTime), boardSecondOfDay), board.halfWidthS, board.rateError,
                            board.rateHalfWidth, current};
    return 1;
}

void StartTrack(ClockTrack *track, const ClockReading &reading)
{
    *track = ClockTrack{reading.count, reading.fileTime, 0};
}

// How far the clock has moved from where the counter and the rates in force say it would be.
double TrackDifferenceS(const ClockTrack &track, const ClockReading &reading, double naturalRate)
{
    const double clockS = static_cast<double>(reading.fileTime - track.anchorClock) / kFileTimeUnitsPerS;
    return clockS - SecondsOf(reading.count - track.anchorCount) * (1 + naturalRate) - track.slewedS;
}

// Both tracks start again from a reading: after a step, a change from outside, a jump.
void StartTracks(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    StartTrack(&p.sinceAnchor, reading);
    StartTrack(&p.sinceCheck, reading);
    p.lastCheckDifferenceS = 0;
    p.lastClockCount = reading.count;
}

// What the rate in force added to the clock since the last reading.
void AddSlew(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    const double slewS = p.ratePpm / kPpm * SecondsOf(reading.count - p.lastClockCount);
    p.sinceAnchor.slewedS += slewS;
    p.sinceCheck.slewedS += slewS;
    p.lastClockCount = reading.count;
}

// Only measuring and stepping, with the program's rate handed back (another's stays).
void StartMonitoring(MonitoringReason reason, const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    HandBackClockRate(&p.inputs);
    p.ratePpm = 0;
    int isOwn;
    if (reason == MONITORING_RIVAL && !ReadClockRate(&p.ratePpm, &isOwn))
        p.ratePpm = 0;
    p.monitoring = reason;
    p.monitoringUntilCount = reading.count + CountsFor(kMonitoringS);
    p.phase = reason == MONITORING_NO_RATE || reason == MONITORING_NO_PRIVILEGE ? PHASE_NO_RATE : PHASE_NATURAL;
    p.naturalRateKnown = 0;
    StartTracks(reading);
}

// The rate in force is another's: it is left alone, said once until the program steers again.
void YieldToRival(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    StartMonitoring(MONITORING_RIVAL, reading);
    if (p.rivalTold)
        return;
    p.rivalTold = 1;
    char detail[32];
    std::snprintf(detail, sizeof detail, "%+.2f ppm", p.ratePpm);
    ConsoleTrace(" Another's rate is in force (%s): left alone, steps only, looking again in an hour. \n", detail);
    Tell(PRECISE_WARNING_RIVAL_RATE, detail);
}

void RatesNotFollowed(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    StartMonitoring(MONITORING_NOT_FOLLOWED, reading);
    if (p.rateNotFollowedTold)
        return;
    p.rateNotFollowedTold = 1;
    ConsoleTrace(" The clock does not follow the rate: steps only, adjusting again in an hour. \n");
    if (p.reporter.ignored)
        p.reporter.ignored("rate");
}

// While another's rate is in force it is looked at every second: once the system keeps the
// clock again, the program may steer it.
int RivalGone(void) { return !OthersRateInForce(); }

// After the hour: a rate of another's still in force means another hour; otherwise the clock's
// own rate and the calls are measured afresh, since whatever kept the clock from following
// may have changed them.
void EndMonitoring(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    if (OthersRateInForce()) {
        p.monitoringUntilCount = reading.count + CountsFor(kMonitoringS);
        return;
    }
    p.monitoring = MONITORING_NONE;
    p.phase = PHASE_NATURAL;
    p.naturalRateKnown = 0;
    p.ratePpm = 0;
    p.notFollowedChecks = 0;
    StartTracks(reading);
}

// ---- the rate, earned: the clock's own, then a trial of each call ----

double TrialEffect(const ClockReading &reading, double *spanS)
{
    const PreciseClockState &p = g_preciseClock;
    *spanS = SecondsOf(reading.count - p.sinceAnchor.anchorCount);
    return TrackDifferenceS(p.sinceAnchor, reading, p.naturalRate);
}

void TryCall(RateCall call, double trialPpm, const ClockReading &reading, double offsetS);

void NoCallMoves(const ClockReading &reading)
{
    UseRateCall(RATE_CALL_NONE, 0);
    StartMonitoring(MONITORING_NO_RATE, reading);
    ConsoleTrace(" Rate call: none moves the clock: steps only. \n");
    Tell(PRECISE_WARNING_NO_RATE_CALL, NULL);
}

void SteerWith(RateCall call, double scale, const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    UseRateCall(call, scale);
    p.phase = PHASE_STEERING;
    p.ratePpm = 0;
    int isOwn;
    if (!ReadClockRate(&p.ratePpm, &isOwn))
        p.ratePpm = 0;
    p.notFollowedChecks = 0;
    p.rivalTold = 0;
    StartTracks(reading);
    ConsoleTrace(" Rate call: %s, measured scale %+.3f \n", RateCallWord(call), scale);
}

// The legacy call's unit in ppm, as documented; the finer call's as measured.
double UnitPpm(RateCall call, double scale)
{
    const ULONGLONG increment = call == RATE_CALL_PRECISE ? g_clockRate.preciseIncrement : g_clockRate.legacyIncrement;
    return increment ? std::fabs(scale) * kPpm / static_cast<double>(increment) : 0;
}

// A trial ends once it has run kTrialS or moved the clock kTrialMovedS: the call's measured
// effect over the one its units promise is its scale.
void FollowTrial(const ClockReading &reading, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    double spanS = 0;
    const double effectS = TrialEffect(reading, &spanS);
    if (spanS < kTrialS && std::fabs(effectS) < kTrialMovedS)
        return;
    const double effectPpm = effectS / spanS * kPpm;
    const double scale = effectPpm / p.trialNominalPpm;
    const int moves = std::fabs(effectPpm) >= kLeastTrialScale * kTrialPpm;
    if (p.trialCall == RATE_CALL_PRECISE) {
        // The finer call is kept unless its measured unit is coarser than the legacy one's.
        if (moves && (g_clockRate.legacyIncrement == 0 || UnitPpm(RATE_CALL_PRECISE, scale) <= UnitPpm(RATE_CALL_LEGACY, 1))) {
            SteerWith(RATE_CALL_PRECISE, scale, reading);
            return;
        }
        if (!moves && !p.trialRaised) {
            p.trialRaised = 1;
            TryCall(RATE_CALL_PRECISE, kTrialPpm * kRaisedTrial, reading, offsetS);
            return;
        }
        p.coarseCall = moves ? RATE_CALL_PRECISE : RATE_CALL_NONE;
        p.coarseScale = scale;
        TryCall(RATE_CALL_LEGACY, kTrialPpm, reading, offsetS);
        return;
    }
    if (moves)
        SteerWith(RATE_CALL_LEGACY, scale, reading);
    else if (p.coarseCall == RATE_CALL_PRECISE)
        SteerWith(RATE_CALL_PRECISE, p.coarseScale, reading);
    else
        NoCallMoves(reading);
}

// A rate with `call` that its units promise to be trialPpm, toward the board, measured from
// here.
void TryCall(RateCall call, double trialPpm, const ClockReading &reading, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    p.trialCall = call;
    p.phase = PHASE_TRIAL;
    StartTrack(&p.sinceAnchor, reading);
    if (SetTrialRate(&p.inputs, call, offsetS > 0 ? -trialPpm : trialPpm, &p.trialNominalPpm))
        return;
    // Not read back as set: another's rate came first, or the call does nothing here.
    if (OthersRateInForce()) {
        YieldToRival(reading);
    } else if (call == RATE_CALL_PRECISE) {
        p.coarseCall = RATE_CALL_NONE;
        TryCall(RATE_CALL_LEGACY, kTrialPpm, reading, offsetS);
    } else if (p.coarseCall == RATE_CALL_PRECISE) {
        SteerWith(RATE_CALL_PRECISE, p.coarseScale, reading);
    } else {
        NoCallMoves(reading);
    }
}

// The clock's own rate against the counter, once it has run kNaturalRateS with no rate of the
// program's; then the trials begin, the finer call first.
void MeasureNaturalRate(const ClockReading &reading, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    const double spanS = SecondsOf(reading.count - p.sinceAnchor.anchorCount);
    if (spanS < kNaturalRateS)
        return;
    p.naturalRate = TrackDifferenceS(p.sinceAnchor, reading, 0) / spanS;
    p.naturalRateKnown = 1;
    if (p.monitoring != MONITORING_NONE || p.phase != PHASE_NATURAL)
        return;
    p.coarseCall = RATE_CALL_NONE;
    p.trialRaised = 0;
    TryCall(g_clockRate.setPrecise && g_clockRate.preciseIncrement ? RATE_CALL_PRECISE : RATE_CALL_LEGACY, kTrialPpm,
            reading, offsetS);
}

// ---- the clock watched against the counter ----

// A jump of the clock against its track, beyond what any rate does in the time since the last
// reading, is a one-off change from outside (a step, a resume that read the hardware clock):
// the tracks start again from it and the mode goes on. Not during a trial, whose rate may be
// anything.
void WatchForOutsideChange(const ClockReading &reading, double elapsedS)
{
    PreciseClockState &p = g_preciseClock;
    if (p.phase == PHASE_TRIAL)
        return;
    const double rate = p.naturalRateKnown ? p.naturalRate : 0;
    const double differenceS = TrackDifferenceS(p.sinceCheck, reading, rate);
    const double mostS = kOutsideChangeS + (p.naturalRateKnown ? 0 : kUnknownRateBound * elapsedS);
    const double changeS = differenceS - p.lastCheckDifferenceS;
    p.lastCheckDifferenceS = differenceS;
    if (std::fabs(changeS) <= mostS)
        return;
    ConsoleTrace(" The clock was changed from outside by %+.3f ms \n", changeS * kMsPerS);
    StartTracks(reading);
}

// Every kRateCheckS while steering, the clock must have advanced as the counter and the rates
// in force say. A clock off its track by about what the rates added did not follow them: two
// such checks in a row, and the rates are not followed. Off by something else, the clock's own
// rate against the counter has changed (the two run on different oscillators): it is taken
// from the check, and the mode goes on.
void CheckRatesFollowed(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    const double spanS = SecondsOf(reading.count - p.sinceCheck.anchorCount);
    if (p.phase != PHASE_STEERING || spanS < kRateCheckS)
        return;
    const double differenceS = TrackDifferenceS(p.sinceCheck, reading, p.naturalRate);
    const double slewedS = p.sinceCheck.slewedS;
    StartTracks(reading);
    if (std::fabs(differenceS) <= kMostRateDifferenceS) {
        p.notFollowedChecks = 0;
        p.rateNotFollowedTold = 0;
        return;
    }
    if (std::fabs(differenceS + slewedS) >= std::fabs(differenceS) / 2) {
        p.naturalRate += differenceS / spanS;
        p.notFollowedChecks = 0;
        ConsoleTrace(" The clock's own rate changed by %+.2f ppm \n", differenceS / spanS * kPpm);
        return;
    }
    if (++p.notFollowedChecks >= kChecksNotFollowed)
        RatesNotFollowed(reading);
}

// ---- steps ----

double ClockRatePpm(const Measurement &measured);

SYSTEMTIME SystemTimeOf(LONGLONG value)
{
    const FILETIME fileTime = ToFileTime(static_cast<ULONGLONG>(value));
    SYSTEMTIME time = {};
    FileTimeToSystemTime(&fileTime, &time);
    return time;
}

// Sets the clock to the board's time at the moment of the call (the reading moved on by the
// counter, less the offset), to the nearest ms a SYSTEMTIME holds.
void SetToBoardTime(const ClockReading &reading, double offsetS, SYSTEMTIME *before, SYSTEMTIME *set)
{
    PreciseClockState &p = g_preciseClock;
    const LONGLONG elapsed = static_cast<LONGLONG>(SecondsOf(ReadCounter() - reading.count) * kFileTimeUnitsPerS);
    const LONGLONG target = InTimeBase(reading.fileTime) + elapsed - std::llround(offsetS * kFileTimeUnitsPerS);
    *before = SystemTimeOf(InTimeBase(reading.fileTime));
    *set = SystemTimeOf(target + kFileTimeUnitsPerMs / 2);
    EnableClockPrivilege(&p.inputs);
    int moved = 0;
    if (GetLastError() == ERROR_SUCCESS)
        SetComputerClock(&p.inputs, set, &moved);
    DisableAllPrivileges(&p.inputs);
}

// A step the clock did not follow is tried again after a wait that doubles each time.
void StepNotFollowed(const ClockReading &after)
{
    PreciseClockState &p = g_preciseClock;
    p.nextStepCount = after.count + CountsFor(p.stepBackoffS);
    ConsoleTrace(" The clock does not follow the step: trying again in %.0f s. \n", p.stepBackoffS);
    p.stepBackoffS = p.stepBackoffS * 2 > kMostStepBackoffS ? kMostStepBackoffS : p.stepBackoffS * 2;
    if (p.stepNotFollowedTold)
        return;
    p.stepNotFollowedTold = 1;
    if (p.reporter.ignored)
        p.reporter.ignored("step");
}

// Steps the clock and checks what it shows against the counter afterwards: a change that
// happened is recorded, whatever the calls answered; one that did not land is tried again
// later.
void StepClock(const ClockReading &reading, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    SYSTEMTIME before, set;
    SetToBoardTime(reading, offsetS, &before, &set);
    const ClockReading after = ReadClockAgainstCounter();
    Measurement measured = {offsetS, 0, 0, 0, 0};
    Measure(after, &measured);
    const double offsetAfterS = measured.offsetS;
    p.offsetMs = offsetAfterS * kMsPerS;
    if (std::fabs(offsetAfterS - offsetS) > kStepToleranceS) {
        ++p.steps;
        p.lastStepAt = after.fileTime;
        p.lastStepTickMs = GetTickCount64();
        const ClockCorrection correction = {before, set, static_cast<LONG>(std::lround(offsetS * kMsPerS)),
                                            p.inputs.useUtc};
        if (p.inputs.corrected)
            p.inputs.corrected(&correction);
        // The clock jumped: its tracks start again from here, and a measurement of its own
        // rate with them. A clock that did not move keeps its tracks.
        StartTracks(after);
    }
    if (std::fabs(offsetAfterS) > kStepToleranceS) {
        StepNotFollowed(after);
        return;
    }
    p.stepNotFollowedTold = 0;
    p.stepBackoffS = kStepSpacingS;
    p.nextStepCount = after.count + CountsFor(kStepSpacingS);
    p.steppedThisSecond = 1;
}

// Whether the servo's rate holds the clock now: not while the mode only measures, before the
// rate is earned, or while the clock runs beyond the rate's bound.
int RateHoldsClock(void)
{
    const PreciseClockState &p = g_preciseClock;
    return p.phase == PHASE_STEERING && p.monitoring == MONITORING_NONE && !p.limited;
}

// How fast the clock runs from the board now, in s a second: its own rate and the rate in
// force.
double DriftNow(const Measurement &measured)
{
    return std::fabs(ClockRatePpm(measured) + g_preciseClock.ratePpm) / kPpm;
}

// A step needs the privilege, an estimate of the present, at least two brackets behind it
// once the first step is made or the fit started again, and the spacing since the last. Then
// a clock is stepped once it is surely beyond the slop; one the rate does not hold already
// when a narrow estimate says it may be beyond it within kStepLeadS at the rate it drifts (once
// that is known: 16 s after the start), so that it never runs past the slop for long, as the
// other mode would not let it.
int ShouldStep(const ClockReading &reading, const Measurement &measured)
{
    const PreciseClockState &p = g_preciseClock;
    if (p.monitoring == MONITORING_NO_PRIVILEGE || !measured.current || reading.count < p.nextStepCount)
        return 0;
    if ((p.steps > 0 || p.fit.restarts > 0) && p.fit.count < 2)
        return 0;
    const double slopS = static_cast<double>(p.inputs.slopMs) / kMsPerS;
    const double offsetS = std::fabs(measured.offsetS);
    if (offsetS - measured.halfWidthS > slopS)
        return 1;
    return !RateHoldsClock() && p.naturalRateKnown && measured.halfWidthS <= kNarrowS &&
           measured.counterRateHalfWidth <= kNarrowRate &&
           offsetS + measured.halfWidthS + DriftNow(measured) * kStepLeadS > slopS;
}

// ---- the rate ----

// The clock against the board, fed forward: its own rate against the counter, and the
// counter's against the board.
double ClockRatePpm(const Measurement &measured)
{
    return ((1 + g_preciseClock.naturalRate) * (1 + measured.counterRate) - 1) * kPpm;
}

// A clock whose own rate the servo's bound cannot take back is said to be so once; steps
// keep it within the slop.
void WatchTheBound(const Measurement &measured)
{
    PreciseClockState &p = g_preciseClock;
    const double ratePpm = ClockRatePpm(measured);
    p.limited = std::fabs(ratePpm) - measured.counterRateHalfWidth * kPpm > SERVO_MOST_RATE_PPM;
    if (!p.limited || p.limitedTold)
        return;
    p.limitedTold = 1;
    char detail[32];
    std::snprintf(detail, sizeof detail, "%+.1f ppm", ratePpm);
    ConsoleTrace(" The clock runs %s off the board, beyond what a rate can take back: kept by steps. \n", detail);
    Tell(PRECISE_WARNING_LIMITED, detail);
}

// Gives the clock the servo's rate; a rate read back that is another's is left alone, one
// that is not in force is not followed.
void SlewClock(const ClockReading &reading, const Measurement &measured)
{
    PreciseClockState &p = g_preciseClock;
    if (p.phase != PHASE_STEERING || p.monitoring != MONITORING_NONE || !measured.current)
        return;
    WatchTheBound(measured);
    const ServoInput input = {measured.offsetS * kMsPerS, measured.halfWidthS * kMsPerS, ClockRatePpm(measured),
                              measured.counterRateHalfWidth * kPpm};
    int foreign = 0;
    if (SetClockRate(&p.inputs, ServoRatePpm(input), &p.ratePpm, &foreign))
        return;
    if (foreign)
        YieldToRival(reading);
    else
        RatesNotFollowed(reading);
}

// ---- the state ----

void UpdateState(const Measurement &measured, int holdover)
{
    PreciseClockState &p = g_preciseClock;
    const double bound = p.locked ? kHoldLockS : kLockS;
    p.locked = !holdover && measured.current && p.phase == PHASE_STEERING && p.monitoring == MONITORING_NONE &&
               std::fabs(measured.offsetS) + measured.halfWidthS <= bound;
    if (holdover)
        p.state = PRECISE_HOLDOVER;
    else if (p.monitoring != MONITORING_NONE)
        p.state = PRECISE_MONITORING;
    else if (p.steppedThisSecond)
        p.state = PRECISE_STEPPED;
    else if (p.limited)
        p.state = PRECISE_LIMITED;
    else
        p.state = p.locked ? PRECISE_LOCKED : PRECISE_ACQUIRING;
    p.steppedThisSecond = 0;
}

void Compare(const ClockReading &reading, const Measurement &measured)
{
    PreciseClockState &p = g_preciseClock;
    p.offsetMs = measured.offsetS * kMsPerS;
    p.halfWidthMs = measured.halfWidthS * kMsPerS;
    ++p.comparisons;
    p.lastComparisonAt = reading.fileTime;
    p.lastComparisonTickMs = GetTickCount64();
    if (std::fabs(p.offsetMs) > static_cast<double>(p.inputs.slopMs))
        ++p.outOfStep;
}

// The rate's phases, and the watch on the clock, before the offset is looked at.
void FollowTheClock(const ClockReading &reading, double elapsedS, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    if (p.tracksStale) {
        p.tracksStale = 0;
        StartTracks(reading);
    }
    WatchForOutsideChange(reading, elapsedS);
    if (p.monitoring != MONITORING_NONE && p.phase != PHASE_NO_RATE &&
        (reading.count >= p.monitoringUntilCount || (p.monitoring == MONITORING_RIVAL && RivalGone())))
        EndMonitoring(reading);
    if ((p.phase == PHASE_NATURAL || p.phase == PHASE_NO_RATE) && !p.naturalRateKnown)
        MeasureNaturalRate(reading, offsetS);
    else if (p.phase == PHASE_TRIAL)
        FollowTrial(reading, offsetS);
    CheckRatesFollowed(reading);
}

// -measure's second: the board's corrected edge against the clock, the counter's and the
// clock's rates against the board (the clock's own against the counter measured from the
// start, the clock never being touched), and from the first estimate surely within 2 ms of the
// board on (the bound of the mode's own lock), the sums for the mean and the spread. A tighter
// bound may take minutes: with polls that keep to a few places of the second, the region of
// lines narrows slowly, while the middle of it is already close.
void MeasureOnly(const ClockReading &reading, const Measurement &measured, int holdover)
{
    PreciseClockState &p = g_preciseClock;
    const double spanS = SecondsOf(reading.count - p.sinceAnchor.anchorCount);
    if (spanS >= 1) {
        p.naturalRate = TrackDifferenceS(p.sinceAnchor, reading, 0) / spanS;
        p.naturalRateKnown = 1;
    }
    p.offsetMs = measured.offsetS * kMsPerS;
    p.halfWidthMs = measured.halfWidthS * kMsPerS;
    if (holdover || !measured.current)
        return;
    Compare(reading, measured);
    p.measureLocked = p.measureLocked || measured.halfWidthS <= kLockS;
    if (p.measureLocked) {
        ++p.measuredSeconds;
        p.measuredSumMs += p.offsetMs;
        p.measuredSumSquaresMs += p.offsetMs * p.offsetMs;
    }
    ConsoleTrace(" Board %+.3f ms +/- %.3f ms against this clock, counter %+.2f ppm, clock %+.2f ppm \n", p.offsetMs,
                 p.halfWidthMs, measured.counterRate * kPpm, ClockRatePpm(measured));
}

// Once a second: the board's time, the clock's offset from it, and what to do about it.
void RunSecondsWork(void)
{
    PreciseClockState &p = g_preciseClock;
    const ClockReading reading = ReadClockAgainstCounter();
    p.lastWorkCount = reading.count;
    const double elapsedS = SecondsOf(reading.count - p.lastClockCount);
    AddSlew(reading);
    Measurement measured = {p.offsetMs / kMsPerS, p.halfWidthMs / kMsPerS, 0, kUnknownRateBound, 0};
    const int haveEstimate = Measure(reading, &measured);
    FollowTheClock(reading, elapsedS, measured.offsetS);
    if (!haveEstimate)
        return;
    const int holdover = reading.count - p.lastEdgeCount > p.holdoverCounts;
    if (p.options.measureOnly) {
        MeasureOnly(reading, measured, holdover);
        return;
    }
    if (holdover) {
        // The line carried on from the last edge, its half-width growing: shown, not compared.
        p.offsetMs = measured.offsetS * kMsPerS;
        p.halfWidthMs = measured.halfWidthS * kMsPerS;
    } else {
        Compare(reading, measured);
        if (ShouldStep(reading, measured))
            StepClock(reading, measured.offsetS);
        else
            SlewClock(reading, measured);
    }
    UpdateState(measured, holdover);
    ConsoleTrace(" Offset %+.3f ms +/- %.3f ms, rate %+.2f ppm, %s \n", p.offsetMs, p.halfWidthMs, p.ratePpm,
                 PreciseStateWord(p.state));
}

// The counter against the system's tick count, which goes on through a suspend: a counter
// that stood still or jumped leaves every bracket on another line. The fit starts again, and
// so do the tracks and, before the rate is steered, its measurement.
void WatchTheCounter(LONGLONG count)
{
    PreciseClockState &p = g_preciseClock;
    const ULONGLONG tickMs = GetTickCount64();
    const double partedS = SecondsOf(count - p.lastTickCount) - static_cast<double>(tickMs - p.lastTickMs) / kMsPerS;
    p.lastTickMs = tickMs;
    p.lastTickCount = count;
    if (std::fabs(partedS) <= kMostCounterJumpS)
        return;
    ConsoleTrace(" The counter moved %+.3f s unlike the system's tick count: the fit starts again. \n", partedS);
    RestartEdgeFit(&p.fit);
    p.tracker = EdgeTracker{};
    p.haveNewest = 0;
    p.newestTaken = 0;
    p.lastEdgeCount = count;
    p.lastWorkCount = count;
    p.tracksStale = 1;
    if (p.phase == PHASE_TRIAL) {
        HandBackClockRate(&p.inputs);
        p.ratePpm = 0;
        p.phase = PHASE_NATURAL;
    }
    if (p.phase == PHASE_NATURAL)
        p.naturalRateKnown = 0;
}

// The clock privilege must be there before anything is changed; without it the mode only
// measures, and says so with the system's word for why.
int ClockPrivilegeHeld(void)
{
    PreciseClockState &p = g_preciseClock;
    EnableClockPrivilege(&p.inputs);
    const DWORD error = GetLastError();
    DisableAllPrivileges(&p.inputs);
    if (error == ERROR_SUCCESS)
        return 1;
    char detail[16];
    std::snprintf(detail, sizeof detail, "%lu", static_cast<unsigned long>(error));
    ConsoleTrace(" The clock privilege cannot be enabled (error %s): measuring only. \n", detail);
    Tell(PRECISE_WARNING_NO_PRIVILEGE, detail);
    return 0;
}

// What the start found in force decides how the mode begins.
void BeginWith(RateFound found, const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    if (!ClockPrivilegeHeld()) {
        StartMonitoring(MONITORING_NO_PRIVILEGE, reading);
        return;
    }
    if (found == RATE_FOUND_UNREADABLE)
        NoCallMoves(reading);
    else if (found == RATE_FOUND_FOREIGN)
        YieldToRival(reading);
    else
        p.phase = PHASE_NATURAL;
}

}  // namespace

void StartPreciseClock(const TimeCheckInputs *inputs, const PreciseReporter *reporter, const PreciseOptions *options)
{
    PreciseClockState &p = g_preciseClock;
    p = PreciseClockState{};
    p.inputs = *inputs;
    p.reporter = *reporter;
    p.options = *options;
    // Windows XP and later always answer, with a rate that never changes.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    p.countsPerSecond = frequency.QuadPart;
    p.mostBracketCounts = CountsFor(kMostBracketS);
    p.workCounts = CountsFor(kWorkWithoutEdgeS);
    p.holdoverCounts = CountsFor(kHoldoverS);
    StartEdgeFit(&p.fit, p.countsPerSecond);
    // Only measuring, the adjustment in force is not even looked at.
    const RateFound found = p.options.measureOnly ? RATE_FOUND_NONE : StartClockRate(&p.inputs);
    const ClockReading reading = ReadClockAgainstCounter();
    p.lastWorkCount = reading.count;
    p.lastEdgeCount = reading.count;
    p.lastTickCount = reading.count;
    p.lastTickMs = GetTickCount64();
    p.stepBackoffS = kStepSpacingS;
    p.nextStepCount = reading.count;
    StartTracks(reading);
    p.state = PRECISE_ACQUIRING;
    if (p.options.measureOnly)
        p.phase = PHASE_NO_RATE;
    else
        BeginWith(found, reading);
}

void PreciseTick(void)
{
    PreciseClockState &p = g_preciseClock;
    const LONGLONG before = ReadCounter();
    WatchTheCounter(before);
    const int read = NttcReadTime(&p.timeCodeWord, &p.inputs.boardAddress);
    const LONGLONG after = ReadCounter();
    const LONG second = read ? SecondOfDay(p.timeCodeWord) : -1;
    EdgeBracket bracket;
    const int edge = second >= 0 && (second == p.tracker.lastSecond || ReadAgainShows(p.timeCodeWord)) &&
                     TrackEdgeRead(&p.tracker, before, after, second, p.mostBracketCounts, &bracket);
    if (edge) {
        p.newestBracket = bracket;
        p.haveNewest = 1;
        p.newestTaken = AddEdgeBracket(&p.fit, bracket);
        p.lastEdgeCount = after;
    }
    if (edge || after - p.lastWorkCount >= p.workCounts)
        RunSecondsWork();
}

const char *PreciseStateWord(PreciseState state) { return kStateWords[state]; }

void StopPreciseClock(void)
{
    if (!g_preciseClock.options.measureOnly)
        HandBackClockRate(&g_preciseClock.inputs);
}
