// The precise mode.
#include "engine/precise_clock.h"

#include <cmath>

#include "base/console_output.h"
#include "base/file_time.h"
#include "engine/clock_rate.h"
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
const double kHoldoverS = 2;
// A clock read between two counter reads further apart than this was interrupted: read again.
const double kTightClockReadS = 20e-6;
const int kClockReadTries = 3;
// The clock's own rate is measured over this long before the servo sets one.
const double kNaturalRateS = 16;
// Every so long the clock's advance against the counter is checked against the rates in
// force; a difference of more than kMostRateDifferenceS means it did not follow them.
const double kRateCheckS = 32;
const double kMostRateDifferenceS = 1e-3;
// After a step the clock must be within this of the board's time.
const double kStepToleranceS = 5e-3;
// Locked: estimate and offset within a millisecond; the lock holds until either passes 5 ms.
const double kLockS = 1e-3;
const double kHoldLockS = 5e-3;
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
    double offsetS;           // the computer minus the board
    double halfWidthS;        // of the board's time, so of the offset
    double counterRate;       // the counter against the board, less 1
    double counterRateHalfWidth;
};

// Returns 0 before the first bracket.
int Measure(const ClockReading &reading, Measurement *measured)
{
    BoardTimeEstimate board;
    if (!EstimateBoardTime(&g_preciseClock.fit, reading.count, &board))
        return 0;
    *measured = Measurement{OffsetS(InTimeBase(reading.fileTime), board.secondOfDay), board.halfWidthS,
                            board.rateError, board.rateHalfWidth};
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

// What the rate in force added to the clock since the last reading.
void AddSlew(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    const double slewS = p.ratePpm / kPpm * SecondsOf(reading.count - p.lastClockCount);
    p.sinceAnchor.slewedS += slewS;
    p.sinceCheck.slewedS += slewS;
    p.lastClockCount = reading.count;
}

// Measuring only, for an hour, with the rate handed back; said once until the clock follows
// again.
void StopAdjusting(const char *adjustment, const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    HandBackClockRate(&p.inputs);
    int isOwn;
    if (!ReadClockRate(&p.ratePpm, &isOwn))
        p.ratePpm = 0;
    p.state = PRECISE_MONITORING;
    p.monitoringUntilCount = reading.count + CountsFor(kMonitoringS);
    if (p.noEffectTold)
        return;
    p.noEffectTold = 1;
    ConsoleTrace(" The clock does not follow the %s: measuring only, adjusting again in an hour. \n", adjustment);
    if (p.reporter.ignored)
        p.reporter.ignored(adjustment);
}

// After an hour of measuring, the clock's own rate is measured afresh before the servo sets
// one again: whatever kept the clock from following may have changed it.
void ResumeAdjusting(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    p.state = PRECISE_ACQUIRING;
    p.naturalRateKnown = 0;
    StartTrack(&p.sinceAnchor, reading);
}

// The clock's own rate against the counter, once it has run kNaturalRateS with no rate of
// the program's; the check of the rates starts then.
void MeasureNaturalRate(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    const double spanS = SecondsOf(reading.count - p.sinceAnchor.anchorCount);
    if (p.naturalRateKnown || spanS < kNaturalRateS)
        return;
    p.naturalRate = TrackDifferenceS(p.sinceAnchor, reading, 0) / spanS;
    p.naturalRateKnown = 1;
    StartTrack(&p.sinceCheck, reading);
}

// Every kRateCheckS, the clock must have advanced as the counter and the rates in force say.
// Returns 0 when it did not: the rates were not followed, or something else set the clock.
int RatesWereFollowed(const ClockReading &reading)
{
    PreciseClockState &p = g_preciseClock;
    if (!p.naturalRateKnown || SecondsOf(reading.count - p.sinceCheck.anchorCount) < kRateCheckS)
        return 1;
    const double differenceS = TrackDifferenceS(p.sinceCheck, reading, p.naturalRate);
    StartTrack(&p.sinceCheck, reading);
    if (std::fabs(differenceS) > kMostRateDifferenceS)
        return 0;
    if (p.ratePpm != 0)
        p.noEffectTold = 0;
    return 1;
}

SYSTEMTIME SystemTimeOf(LONGLONG value)
{
    const FILETIME fileTime = ToFileTime(static_cast<ULONGLONG>(value));
    SYSTEMTIME time = {};
    FileTimeToSystemTime(&fileTime, &time);
    return time;
}

// Sets the clock to the board's time at the moment of the call (the reading moved on by the
// counter, less the offset), to the nearest ms a SYSTEMTIME holds. Returns 1 when the call
// reported success.
int SetToBoardTime(const ClockReading &reading, double offsetS, SYSTEMTIME *before, SYSTEMTIME *set)
{
    PreciseClockState &p = g_preciseClock;
    const LONGLONG elapsed = static_cast<LONGLONG>(SecondsOf(ReadCounter() - reading.count) * kFileTimeUnitsPerS);
    const LONGLONG target = InTimeBase(reading.fileTime) + elapsed - std::llround(offsetS * kFileTimeUnitsPerS);
    *before = SystemTimeOf(InTimeBase(reading.fileTime));
    *set = SystemTimeOf(target + kFileTimeUnitsPerMs / 2);
    EnableClockPrivilege(&p.inputs);
    int moved = 0;
    const int done = GetLastError() == ERROR_SUCCESS && SetComputerClock(&p.inputs, set, &moved);
    DisableAllPrivileges(&p.inputs);
    return done;
}

// Steps the clock and checks what it shows against the counter afterwards: a change that
// happened is recorded, whatever the calls answered; one that did not land stops adjusting.
void StepClock(const ClockReading &reading, double offsetS)
{
    PreciseClockState &p = g_preciseClock;
    SYSTEMTIME before, set;
    SetToBoardTime(reading, offsetS, &before, &set);
    const ClockReading after = ReadClockAgainstCounter();
    Measurement measured = {offsetS, 0, 0, 0};
    Measure(after, &measured);
    const double offsetAfterS = measured.offsetS;
    p.offsetMs = offsetAfterS * kMsPerS;
    if (std::fabs(offsetAfterS - offsetS) > kStepToleranceS) {
        ++p.steps;
        p.lastStepAt = after.fileTime;
        const ClockCorrection correction = {before, set, static_cast<LONG>(std::lround(offsetS * kMsPerS)),
                                            p.inputs.useUtc};
        if (p.inputs.corrected)
            p.inputs.corrected(&correction);
    }
    // The clock jumped: its track starts again from here.
    p.lastClockCount = after.count;
    StartTrack(&p.sinceAnchor, after);
    StartTrack(&p.sinceCheck, after);
    if (std::fabs(offsetAfterS) > kStepToleranceS) {
        StopAdjusting("step", after);
        return;
    }
    p.noEffectTold = 0;
    p.state = PRECISE_STEPPED;
}

// Gives the clock the servo's rate; when reading it back does not show it, stops adjusting.
void SlewClock(const ClockReading &reading, const Measurement &measured)
{
    PreciseClockState &p = g_preciseClock;
    if (!p.naturalRateKnown)
        return;
    const ServoInput input = {measured.offsetS * kMsPerS, measured.halfWidthS * kMsPerS,
                              ((1 + p.naturalRate) * (1 + measured.counterRate) - 1) * kPpm,
                              measured.counterRateHalfWidth * kPpm};
    if (!SetClockRate(&p.inputs, ServoRatePpm(input), &p.ratePpm))
        StopAdjusting("rate", reading);
}

void UpdateLock(double offsetS, double halfWidthS)
{
    PreciseClockState &p = g_preciseClock;
    if (p.state == PRECISE_MONITORING || p.state == PRECISE_STEPPED)
        return;
    const double bound = p.state == PRECISE_LOCKED ? kHoldLockS : kLockS;
    p.state = halfWidthS <= bound && std::fabs(offsetS) <= bound ? PRECISE_LOCKED : PRECISE_ACQUIRING;
}

// Adjusting, while not monitoring: a step beyond the slop, as soon as the estimate is surely
// beyond it; within it, the servo's rate.
void Adjust(const ClockReading &reading, const Measurement &measured)
{
    PreciseClockState &p = g_preciseClock;
    if (p.state == PRECISE_STEPPED)
        p.state = PRECISE_ACQUIRING;
    MeasureNaturalRate(reading);
    if (!RatesWereFollowed(reading)) {
        StopAdjusting("rate", reading);
        return;
    }
    if (std::fabs(measured.offsetS) - measured.halfWidthS > static_cast<double>(p.inputs.slopMs) / kMsPerS)
        StepClock(reading, measured.offsetS);
    else
        SlewClock(reading, measured);
}

// Once a second: the board's time, the clock's offset from it, and what to do about it.
void RunSecondsWork(void)
{
    PreciseClockState &p = g_preciseClock;
    const ClockReading reading = ReadClockAgainstCounter();
    p.lastWorkCount = reading.count;
    AddSlew(reading);
    Measurement measured;
    if (!Measure(reading, &measured))
        return;
    p.offsetMs = measured.offsetS * kMsPerS;
    p.halfWidthMs = measured.halfWidthS * kMsPerS;
    ++p.comparisons;
    p.lastComparisonAt = reading.fileTime;
    if (std::fabs(p.offsetMs) > static_cast<double>(p.inputs.slopMs))
        ++p.outOfStep;
    if (p.state == PRECISE_MONITORING && reading.count >= p.monitoringUntilCount)
        ResumeAdjusting(reading);
    if (p.state != PRECISE_MONITORING)
        Adjust(reading, measured);
    UpdateLock(p.offsetMs / kMsPerS, measured.halfWidthS);
    ConsoleTrace(" Offset %+.3f ms +/- %.3f ms, rate %+.2f ppm, %s \n", p.offsetMs, p.halfWidthMs, p.ratePpm,
                 PreciseStateWord(p.state));
}

}  // namespace

void StartPreciseClock(const TimeCheckInputs *inputs, const PreciseReporter *reporter)
{
    PreciseClockState &p = g_preciseClock;
    p.inputs = *inputs;
    p.reporter = *reporter;
    // Windows XP and later always answer, with a rate that never changes.
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    p.countsPerSecond = frequency.QuadPart;
    p.mostBracketCounts = CountsFor(kMostBracketS);
    p.holdoverCounts = CountsFor(kHoldoverS);
    p.tracker = EdgeTracker{};
    StartEdgeFit(&p.fit, p.countsPerSecond);
    StartClockRate(&p.inputs);
    const ClockReading reading = ReadClockAgainstCounter();
    p.lastWorkCount = reading.count;
    p.lastClockCount = reading.count;
    StartTrack(&p.sinceAnchor, reading);
    p.naturalRateKnown = 0;
    p.ratePpm = 0;
    p.state = PRECISE_ACQUIRING;
    p.noEffectTold = 0;
}

void PreciseTick(void)
{
    PreciseClockState &p = g_preciseClock;
    const LONGLONG before = ReadCounter();
    const int read = NttcReadTime(&p.timeCodeWord, &p.inputs.boardAddress);
    const LONGLONG after = ReadCounter();
    const LONG second = read ? SecondOfDay(p.timeCodeWord) : -1;
    EdgeBracket bracket;
    const int edge = second >= 0 && (second == p.tracker.lastSecond || ReadAgainShows(p.timeCodeWord)) &&
                     TrackEdgeRead(&p.tracker, before, after, second, p.mostBracketCounts, &bracket);
    if (edge)
        AddEdgeBracket(&p.fit, bracket);
    if (edge || after - p.lastWorkCount >= p.holdoverCounts)
        RunSecondsWork();
}

const char *PreciseStateWord(PreciseState state) { return kStateWords[state]; }

void StopPreciseClock(void) { HandBackClockRate(&g_preciseClock.inputs); }
