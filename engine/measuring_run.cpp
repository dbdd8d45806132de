// -measure's run.
#include "engine/measuring_run.h"

#include <cmath>

#include "engine/board_discovery.h"
#include "engine/settings_word.h"
#include "engine/stop_request.h"
#include "reader/nttc_reader.h"

MeasuringRunState g_measuringRun;

namespace {

const double kMsPerS = 1000;
const double kUsPerMs = 1000;  // the board's delay is stored in us, the precise mode takes ms

LONGLONG ReadCounter(void)
{
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

LONGLONG CountsPerSecond(void)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

// A 51 ms wait ends on a tick of the system timer: on a 1 ms timer it lasts 51 to 52 ms, on the
// default 15.625 ms tick 62.5 ms. The counter, which no timer steers, tells which the process
// got, whatever timeBeginPeriod answered.
void TimeWaits(void)
{
    MeasuringRunState &m = g_measuringRun;
    const double countsPerMs = static_cast<double>(CountsPerSecond()) / kMsPerS;
    double totalMs = 0;
    for (m.waitsTimed = 0; m.waitsTimed < kTimedWaits; ++m.waitsTimed) {
        const LONGLONG before = ReadCounter();
        if (WaitForSingleObject(g_stopRequest.stopEvent, kPollIntervalMs) != WAIT_TIMEOUT)
            break;
        const double waitMs = static_cast<double>(ReadCounter() - before) / countsPerMs;
        totalMs += waitMs;
        if (waitMs > m.waitLongestMs)
            m.waitLongestMs = waitMs;
    }
    m.waitMeanMs = m.waitsTimed ? totalMs / m.waitsTimed : 0;
}

}  // namespace

int PrepareMeasuring(void)
{
    g_measuringRun = MeasuringRunState{};
    if (!CreateStopEvent())
        return 0;
    // The polls are measured as the service makes them, on the timer it asks for; a refusal is
    // no reason not to measure, and the timed waits show what it means.
    g_measuringRun.timerGranted = timeBeginPeriod(kPollTimerPeriodMs) == TIMERR_NOERROR;
    TimeWaits();
    return 1;
}

StartupFailure FindBoardToMeasure(void)
{
    if (!NttcOpen())
        return STARTUP_NO_LIBRARY;
    if (FindReaderBoard())
        return STARTUP_SUCCEEDED;
    Sleep(kDiscoveryRetryPauseMs);
    return FindReaderBoard() ? STARTUP_SUCCEEDED : STARTUP_NO_BOARD;
}

void MeasureBoard(DWORD seconds)
{
    // No token and no privilege record: measuring only, the precise mode never looks at them.
    TimeCheckInputs inputs = {};
    inputs.boardAddress = g_board.boardAddress;
    inputs.slopMs = g_settings.slopMs;
    inputs.useUtc = g_settings.useUtc;
    const PreciseReporter reporter = {NULL, NULL};
    const PreciseOptions options = {g_settings.precise ? g_settings.edgeDelayUs / kUsPerMs : 0, 1};
    StartPreciseClock(&inputs, &reporter, &options);
    // Every wait overruns its time a little (half a millisecond under Wine), and polls 51.5 ms
    // apart fall on nearly the same 19 places of every second: the brackets' bounds then pin the
    // edge no closer than those places are apart. Polls 51 ms apart on average walk through all
    // 51 places, a millisecond apart, within a minute. One late by more than a poll starts the
    // count afresh rather than catching up.
    const LONGLONG countsPerSecond = g_preciseClock.countsPerSecond;
    const LONGLONG period = countsPerSecond * kPollIntervalMs / 1000;
    const LONGLONG start = ReadCounter();
    const LONGLONG end = start + static_cast<LONGLONG>(seconds) * countsPerSecond;
    LONGLONG due = start;
    for (LONGLONG now = start; now < end; now = ReadCounter()) {
        due = now - due > period ? now + period : due + period;
        const DWORD waitMs = due > now ? static_cast<DWORD>((due - now) * 1000 / countsPerSecond) : 0;
        if (WaitForSingleObject(g_stopRequest.stopEvent, waitMs) != WAIT_TIMEOUT)
            break;
        PreciseTick();
    }
    g_measuringRun.ranS = static_cast<double>(ReadCounter() - start) / static_cast<double>(g_preciseClock.countsPerSecond);
}

void EndMeasuring(void)
{
    if (g_measuringRun.timerGranted)
        timeEndPeriod(kPollTimerPeriodMs);
    g_measuringRun.timerGranted = 0;
    CloseStopEvent();
}

MeasureSummary SummarizeMeasurement(const PreciseClockState &measured)
{
    MeasureSummary summary = {measured.measureLocked, measured.measuredSeconds, 0, 0, 0};
    if (summary.seconds > 0) {
        const double count = summary.seconds;
        summary.meanMs = measured.measuredSumMs / count;
        // Rounding may leave a spread of nothing a hair below 0.
        const double variance = measured.measuredSumSquaresMs / count - summary.meanMs * summary.meanMs;
        summary.spreadMs = variance > 0 ? std::sqrt(variance) : 0;
    }
    // To the 0.1 ms the proposal prints, and never "-0.0".
    summary.delayMs = std::round((measured.options.edgeDelayMs + summary.meanMs) * 10) / 10 + 0.0;
    return summary;
}
