// The clock simulation.
#include "clock_simulation.h"

#include <algorithm>
#include <cmath>

#include "base/console_output.h"
#include "engine/precise_clock.h"
#include "engine/time_check.h"
#include "reader/standin/standin_words.h"
#include "time_check_setup.h"

namespace {

const std::int64_t kNsPerUs = 1000;

double Ms(std::int64_t ns) { return static_cast<double>(ns) / SIM_NS_PER_MS; }
double Seconds(std::int64_t ns) { return static_cast<double>(ns) / SIM_NS_PER_S; }

// The records as the worker's start-up leaves them, and CheckTime's own at process start.
void StartRecords(LONG slopMs)
{
    g_console = ConsoleState{0};
    StartTestTimeCheck(slopMs, 0);
}

void StartClocks(const SimScenario &scenario, std::int64_t startNs)
{
    g_sim = SimPlatformState{};
    g_sim.nowNs = startNs;
    g_sim.frameRate = scenario.frameRate;
    g_sim.costs = scenario.costs;
    g_sim.computerAtSetNs = startNs + scenario.initialOffsetMs * SIM_NS_PER_MS;
    g_sim.setAtNs = startNs;
    g_sim.driftPpb = static_cast<std::int64_t>(scenario.driftPpm) * 1000;
    g_sim.adjustment = SIM_TIME_INCREMENT + SIM_TIME_INCREMENT / 1000 * scenario.leftoverRatePpm / 1000;
    g_sim.adjustmentDisabled = scenario.leftoverRatePpm == 0;
    g_sim.adjustmentIgnored = scenario.adjustmentIgnored;
    g_sim.readFailPercent = scenario.readFailPercent;
    g_sim.tornReadPercent = scenario.tornReadPercent;
    StandinSeedPrng(&g_sim.faults, scenario.seed + 1000);
}

// The records and the clocks as a run starts, and the jitter's generator seeded. Returns the
// start in virtual ns.
std::int64_t StartRun(const SimScenario &scenario, StandinPrng *prng)
{
    const std::int64_t startNs = scenario.startMsOfDay * SIM_NS_PER_MS;
    StartRecords(scenario.slopMs);
    StartClocks(scenario, startNs);
    StandinSeedPrng(prng, scenario.seed);
    return startNs;
}

// How late a wait ends: 0 to jitterMaxUs, uniformly.
std::int64_t JitterNs(const SimScenario &scenario, StandinPrng *prng)
{
    const std::uint64_t spreadNs = static_cast<std::uint64_t>(scenario.jitterMaxUs) * kNsPerUs + 1;
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(StandinNextRandom(prng)) * spreadNs >> 32);
}

// When the polling wait that begins now ends: once the time-out has run, at the system
// timer's next tick when it has one (ticks counted on the computer's oscillator from the
// start), then the jitter.
std::int64_t WaitEndNs(const SimScenario &scenario, StandinPrng *prng, std::int64_t startNs)
{
    std::int64_t lateNs = JitterNs(scenario, prng);
    if (scenario.preemptPercent > 0 && StandinDrawPercent(prng) < scenario.preemptPercent)
        lateNs += static_cast<std::int64_t>(StandinNextRandom(prng) % (scenario.preemptMaxUs + 1)) * kNsPerUs;
    const std::int64_t dueNs = g_sim.nowNs + scenario.pollMs * SIM_NS_PER_MS;
    if (scenario.timerTickUs == 0)
        return dueNs + lateNs;
    const __int128 oscillatorRate = SIM_NS_PER_S + g_sim.driftPpb;  // oscillator ns per 10^9 ns
    const __int128 tickNs = static_cast<__int128>(scenario.timerTickUs) * kNsPerUs;
    const __int128 dueOscillatorNs = static_cast<__int128>(dueNs - startNs) * oscillatorRate / SIM_NS_PER_S;
    const __int128 tickOscillatorNs = (dueOscillatorNs + tickNs - 1) / tickNs * tickNs;
    const __int128 tickAfterStartNs = (tickOscillatorNs * SIM_NS_PER_S + oscillatorRate - 1) / oscillatorRate;
    return std::max(dueNs, startNs + static_cast<std::int64_t>(tickAfterStartNs)) + lateNs;
}

struct OffsetStats {
    double largestMs = 0;
    double smallestMs = 0;
    double sumMs = 0;
    std::uint64_t count = 0;

    void Add(double offsetMs)
    {
        largestMs = count == 0 ? offsetMs : std::max(largestMs, offsetMs);
        smallestMs = count == 0 ? offsetMs : std::min(smallestMs, offsetMs);
        sumMs += offsetMs;
        ++count;
    }
};

}  // namespace

SimScenario SimDefaultScenario(LONG slopMs, int driftPpm)
{
    SimScenario scenario;
    scenario.slopMs = slopMs;
    scenario.driftPpm = driftPpm;
    scenario.initialOffsetMs = 400;
    scenario.startMsOfDay = 12 * 3600 * 1000 + 137;
    scenario.durationS = 24 * 3600;
    scenario.seed = 1;
    scenario.pollMs = 51;
    scenario.jitterMaxUs = 1000;
    scenario.timerTickUs = 1000;
    scenario.frameRate = 25;
    scenario.costs = SimCallCosts{20 * kNsPerUs, 1 * kNsPerUs, 50 * kNsPerUs, 10 * kNsPerUs, 1 * kNsPerUs};
    scenario.sampleEveryS = 0;
    return scenario;
}

SimScenario SimPreciseScenario(int driftPpm)
{
    SimScenario scenario = SimDefaultScenario(150, driftPpm);
    scenario.preemptPercent = 1;
    scenario.preemptMaxUs = 30000;
    return scenario;
}

SimResult RunSimulation(const SimScenario &scenario)
{
    StandinPrng prng;
    const std::int64_t startNs = StartRun(scenario, &prng);
    const std::int64_t endNs = startNs + scenario.durationS * SIM_NS_PER_S;

    SimResult result = SimResult{};
    result.firstComparisonS = -1;
    OffsetStats offsets;
    std::int64_t lastComparisonNs = -1;
    std::int64_t nextSampleNs = startNs;
    const std::int64_t sampleStepNs = scenario.sampleEveryS * SIM_NS_PER_S;

    for (;;) {
        g_sim.nowNs = WaitEndNs(scenario, &prng, startNs);
        if (g_sim.nowNs >= endNs)
            break;
        const double offsetMs = Ms(SimOffsetNs());
        if (!result.corrections.empty())
            offsets.Add(offsetMs);
        if (sampleStepNs > 0 && g_sim.nowNs >= nextSampleNs) {
            result.samples.push_back(SimSample{Seconds(g_sim.nowNs - startNs), offsetMs});
            nextSampleNs += sampleStepNs;
        }

        const std::uint64_t clockReadsBefore = g_sim.clockReads;
        const std::uint64_t clockSetsBefore = g_sim.clockSets;
        g_sim.setsInCheck = 0;
        CheckTime();
        ++result.ticks;

        if (g_sim.clockReads != clockReadsBefore) {
            ++result.comparisons;
            const std::int64_t boardSecondMs = g_sim.lastReadNs / SIM_NS_PER_S * 1000;
            result.compared.push_back(SimComparison{Seconds(g_sim.lastClockReadNs - startNs),
                                                    static_cast<double>(g_sim.lastShownMs - boardSecondMs - 50),
                                                    g_sim.clockSets != clockSetsBefore});
            if (lastComparisonNs < 0)
                result.firstComparisonS = Seconds(g_sim.lastClockReadNs - startNs);
            else
                result.longestComparisonGapS =
                    std::max(result.longestComparisonGapS, Seconds(g_sim.lastClockReadNs - lastComparisonNs));
            lastComparisonNs = g_sim.lastClockReadNs;
            result.longestReadToClockReadMs =
                std::max(result.longestReadToClockReadMs, Ms(g_sim.lastClockReadNs - g_sim.lastReadNs));
        }
        if (g_sim.clockSets != clockSetsBefore) {
            const SimCorrection correction{Seconds(g_sim.lastSetNs - startNs), Ms(g_sim.offsetBeforeSetNs),
                                           Ms(g_sim.offsetAfterSetNs), Ms(g_sim.lastSetNs - g_sim.lastReadNs)};
            if (!result.corrections.empty())
                offsets.Add(correction.offsetBeforeMs);
            offsets.Add(correction.offsetAfterMs);
            result.corrections.push_back(correction);
            if (sampleStepNs > 0) {
                result.samples.push_back(SimSample{correction.atS, correction.offsetBeforeMs});
                result.samples.push_back(SimSample{correction.atS, correction.offsetAfterMs});
            }
        }
    }
    result.largestOffsetMs = offsets.largestMs;
    result.smallestOffsetMs = offsets.smallestMs;
    result.meanOffsetMs = offsets.count ? offsets.sumMs / static_cast<double>(offsets.count) : 0;
    return result;
}

SimPreciseResult RunPreciseSimulation(const SimScenario &scenario)
{
    StandinPrng prng;
    const std::int64_t startNs = StartRun(scenario, &prng);
    const std::int64_t endNs = startNs + scenario.durationS * SIM_NS_PER_S;
    const PreciseReporter silent = {NULL, NULL};
    StartPreciseClock(&g_timeCheck.inputs, &silent);
    SimPreciseResult result;
    std::vector<double> afterLockMs;  // |offset| at every tick from the lock on
    std::int64_t lastBracketNs = startNs, nextSampleNs = startNs;
    DWORD accepted = 0;
    for (std::uint64_t tick = 0; tick < scenario.mostTicks && (g_sim.nowNs = WaitEndNs(scenario, &prng, startNs)) < endNs;
         ++tick) {
        const double atS = Seconds(g_sim.nowNs - startNs);
        if (scenario.wanderPpm != 0)
            SimSetDriftPpb(std::llround(
                (scenario.driftPpm + scenario.wanderPpm * std::sin(2 * M_PI * atS / scenario.wanderPeriodS)) * 1000));
        const double offsetMs = Ms(SimOffsetNs());
        if (result.lockS >= 0)
            afterLockMs.push_back(std::fabs(offsetMs));
        if (scenario.sampleEveryS > 0 && g_sim.nowNs >= nextSampleNs) {
            result.samples.push_back(SimSample{atS, offsetMs});
            nextSampleNs += scenario.sampleEveryS * SIM_NS_PER_S;
        }
        const std::uint64_t setsBefore = g_sim.clockSets;
        PreciseTick();
        if (g_sim.clockSets != setsBefore && result.firstStepS >= 0)
            ++result.stepsAfterFirst;
        else if (g_sim.clockSets != setsBefore)
            result.firstStepS = atS;
        if (g_preciseClock.fit.accepted != accepted) {
            accepted = g_preciseClock.fit.accepted;
            result.longestBracketGapS = std::max(result.longestBracketGapS, Seconds(g_sim.nowNs - lastBracketNs));
            lastBracketNs = g_sim.nowNs;
        }
        if (result.lockS < 0 && g_preciseClock.state == PRECISE_LOCKED)
            result.lockS = atS;
    }
    if (!afterLockMs.empty()) {
        std::sort(afterLockMs.begin(), afterLockMs.end());
        for (double ms : afterLockMs)
            result.meanAbsAfterLockMs += ms / static_cast<double>(afterLockMs.size());
        result.p99AbsAfterLockMs = afterLockMs[afterLockMs.size() * 99 / 100];
        result.largestAbsAfterLockMs = afterLockMs.back();
    }
    result.endState = g_preciseClock.state;
    return result;
}

std::vector<SimPreciseCase> SimPreciseCases(void)
{
    std::vector<SimPreciseCase> cases;
    for (int driftPpm : {0, 20, 100, -100})
        cases.push_back({driftPpm == 0 ? "0 ppm" : driftPpm == 20 ? "+20 ppm" : driftPpm == 100 ? "+100 ppm" : "-100 ppm",
                         SimPreciseScenario(driftPpm), true});
    cases.push_back({"+20 ppm wandering 5 ppm over 2 h", SimPreciseScenario(20), true});
    cases.back().scenario.wanderPpm = 5;
    cases.back().scenario.wanderPeriodS = 2 * 3600;
    cases.push_back({"+20 ppm, 2 % failed and 2 % torn reads", SimPreciseScenario(20), true});
    cases.back().scenario.readFailPercent = cases.back().scenario.tornReadPercent = 2;
    cases.push_back({"+20 ppm, default 15.625 ms timer", SimPreciseScenario(20), false});
    cases.back().scenario.timerTickUs = 15625;
    cases.back().scenario.jitterMaxUs = 0;
    return cases;
}
