// Runs the clock simulation for slops 50, 150 and 250 ms and computer clocks that drift 0,
// +20, +100 and -100 ppm, first on the 1 ms system timer that the worker asks for (51 ms
// waits ending on a 1 ms tick, then up to 1 ms late), then on Windows' default 15.625 ms
// timer tick, which a process gets when its request is refused (polls 62.5 ms apart); then
// the precise mode at slop 150 (SimPreciseCases), and the precise mode against disturbances
// (SimDisturbanceCases, each over its own duration, whatever --hours says). It writes the
// figures as Markdown tables and the offset against time as data files for gnuplot
// (tests/simulation/make_accuracy_docs.sh draws them): FILE, and FILE.precise for the precise
// mode, every second.
//
//   clock_simulation [--hours H] [--seeds N] [--table FILE] [--precise-table FILE]
//                    [--disturbance-table FILE] [--data FILE]
//
// Each case of the 1 ms timer runs with the seeds 1 to N (default 1) of the jitter, seed k
// starting the day (12:00:00) at millisecond 137 + 397 (k - 1), modulo 1000, so that the
// first comparisons fall at different places; the figures are over all of them. The data
// file holds seed 1 only. Without --table the tables go to standard output, the precise one
// and the disturbances' after them unless --precise-table and --disturbance-table name their
// files; without --data no data file is made.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clock_simulation.h"
#include "engine/clock_rate.h"
#include "engine/precise_clock.h"

namespace {

const LONG kSlopsMs[] = {50, 150, 250};
const int kDriftsPpm[] = {0, 20, 100, -100};
const int kSampleEveryS = 30;
const int kPreciseSampleEveryS = 1;
const int kDefaultTimerTickUs = 15625;

struct Options {
    double hours = 24;
    int seeds = 1;
    const char *tablePath = nullptr;
    const char *dataPath = nullptr;
    const char *preciseTablePath = nullptr;
    const char *disturbanceTablePath = nullptr;
};

int ParseOptions(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--hours") == 0 && hasValue)
            options->hours = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--seeds") == 0 && hasValue)
            options->seeds = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--table") == 0 && hasValue)
            options->tablePath = argv[++i];
        else if (std::strcmp(argv[i], "--data") == 0 && hasValue)
            options->dataPath = argv[++i];
        else if (std::strcmp(argv[i], "--precise-table") == 0 && hasValue)
            options->preciseTablePath = argv[++i];
        else if (std::strcmp(argv[i], "--disturbance-table") == 0 && hasValue)
            options->disturbanceTablePath = argv[++i];
        else
            return 0;
    }
    return options->hours > 0 && options->seeds > 0;
}

// The figures of one case, over one or more seeds.
struct CaseFigures {
    LONG slopMs;
    int driftPpm;
    double firstCorrectionSumS = 0;
    double firstCorrectionMaxS = 0;
    double correctionsPerDaySum = 0;
    double afterSumMs = 0;
    double afterMaxMs = 0;
    std::size_t corrections = 0;
    double largestMs = 0;  // the largest offset either way, with its sign
    double meanOffsetSumMs = 0;
    double longestGapS = 0;
    int runs = 0;
    int runsWithoutCorrection = 0;

    void Add(const SimResult &r, double durationS)
    {
        ++runs;
        longestGapS = std::max(longestGapS, r.longestComparisonGapS);
        if (r.corrections.empty()) {
            ++runsWithoutCorrection;
            return;
        }
        const double firstS = r.corrections.front().atS;
        firstCorrectionSumS += firstS;
        firstCorrectionMaxS = std::max(firstCorrectionMaxS, firstS);
        correctionsPerDaySum += (r.corrections.size() - 1) * 86400.0 / (durationS - firstS);
        for (const SimCorrection &c : r.corrections) {
            afterSumMs += c.offsetAfterMs;
            afterMaxMs = std::max(afterMaxMs, c.offsetAfterMs);
        }
        corrections += r.corrections.size();
        for (double offsetMs : {r.largestOffsetMs, r.smallestOffsetMs})
            if (std::fabs(offsetMs) > std::fabs(largestMs))
                largestMs = offsetMs;
        meanOffsetSumMs += r.meanOffsetMs;
    }
};

void WriteTable(std::FILE *out, const std::vector<CaseFigures> &cases)
{
    std::fprintf(out, "| slop (ms) | drift (ppm) | first correction, mean / max (s) "
                      "| corrections per day after the first | offset after a correction, mean / max (ms) "
                      "| largest offset between corrections (ms) | mean offset (ms) "
                      "| longest time without a comparison (s) |\n");
    std::fprintf(out, "|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const CaseFigures &c : cases) {
        const int corrected = c.runs - c.runsWithoutCorrection;
        std::fprintf(out, "| %ld | %+d | ", static_cast<long>(c.slopMs), c.driftPpm);
        if (corrected == 0) {
            std::fprintf(out, "never | | | | |");
        } else {
            std::fprintf(out, "%.2f / %.2f | %.1f | %.1f / %.1f | %+.1f | %+.1f |", c.firstCorrectionSumS / corrected,
                         c.firstCorrectionMaxS, c.correctionsPerDaySum / corrected, c.afterSumMs / c.corrections,
                         c.afterMaxMs, c.largestMs, c.meanOffsetSumMs / corrected);
        }
        std::fprintf(out, " %.1f |\n", c.longestGapS);
    }
}

// One gnuplot data block per case (select with `index N`), in the order of the first table.
void WriteData(std::FILE *out, const std::vector<SimScenario> &scenarios, const std::vector<SimResult> &results)
{
    std::fprintf(out, "# The computer clock's offset from the board (ms) against virtual time (h), one block\n"
                      "# per case; every %d s and just before and after each correction.\n",
                 kSampleEveryS);
    for (std::size_t i = 0; i < results.size(); ++i) {
        std::fprintf(out, "%s# index %zu: slop %ld ms, drift %+d ppm\n", i ? "\n\n" : "", i,
                     static_cast<long>(scenarios[i].slopMs), scenarios[i].driftPpm);
        for (const SimSample &sample : results[i].samples)
            std::fprintf(out, "%.6f %.3f\n", sample.atS / 3600, sample.offsetMs);
    }
}

// One row of the precise table: a case over its seeds.
void WritePreciseRow(std::FILE *out, const char *name, const std::vector<SimPreciseResult> &runs)
{
    double firstSumS = 0, firstMaxS = 0, lockSumS = 0, lockMaxS = 0, meanSumMs = 0, p99Ms = 0, largestMs = 0, gapS = 0;
    int steps = 0, unlocked = 0;
    for (const SimPreciseResult &r : runs) {
        firstSumS += r.firstStepS;
        firstMaxS = std::max(firstMaxS, r.firstStepS);
        unlocked += r.lockS < 0;
        lockSumS += r.lockS;
        lockMaxS = std::max(lockMaxS, r.lockS);
        meanSumMs += r.meanAbsAfterLockMs;
        p99Ms = std::max(p99Ms, r.p99AbsAfterLockMs);
        largestMs = std::max(largestMs, r.largestAbsAfterLockMs);
        steps += r.stepsAfterFirst;
        gapS = std::max(gapS, r.longestBracketGapS);
    }
    const double n = static_cast<double>(runs.size());
    std::fprintf(out, "| %s | %.2f / %.2f | ", name, firstSumS / n, firstMaxS);
    if (unlocked)
        std::fprintf(out, "%d of %zu runs never | | | |", unlocked, runs.size());
    else
        std::fprintf(out, "%.0f / %.0f | %.3f | %.3f | %.3f |", lockSumS / n, lockMaxS, meanSumMs / n, p99Ms, largestMs);
    std::fprintf(out, " %d | %.1f |\n", steps, gapS);
}

// Every precise case with the seeds and starts of the 1 ms timer's cases; seed 1's offset
// against time goes to `data`, one block per case.
void WritePreciseTable(std::FILE *out, const Options &options, std::int64_t durationS, std::FILE *data)
{
    std::fprintf(out, "| case | first step, mean / max (s) | time to lock, mean / max (s) "
                      "| mean \\|offset\\| after lock (ms) | 99th percentile (ms) | largest (ms) "
                      "| steps after the first | longest time without a new bracket (s) |\n"
                      "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    int index = 0;
    for (const SimPreciseCase &c : SimPreciseCases()) {
        std::vector<SimPreciseResult> runs;
        for (int seed = 1; seed <= options.seeds; ++seed) {
            SimScenario scenario = c.scenario;
            scenario.durationS = durationS;
            scenario.seed = static_cast<std::uint32_t>(seed);
            scenario.startMsOfDay = 12 * 3600 * 1000 + (137 + 397 * (seed - 1)) % 1000;
            scenario.sampleEveryS = seed == 1 && data ? kPreciseSampleEveryS : 0;
            runs.push_back(RunPreciseSimulation(scenario));
        }
        if (data)
            std::fprintf(data, "%s# index %d: %s\n", index ? "\n\n" : "", index, c.name);
        ++index;
        for (const SimSample &sample : runs.front().samples)
            std::fprintf(data, "%.6f %.3f\n", sample.atS / 3600, sample.offsetMs);
        WritePreciseRow(out, c.name, runs);
    }
}

// Seed k of a case starts at millisecond 137 + 397 (k - 1) of its own second, as the 1 ms
// timer's cases do.
std::int64_t StartMsOfDayForSeed(std::int64_t caseStartMsOfDay, int seed)
{
    return caseStartMsOfDay / 1000 * 1000 + (137 + 397 * (seed - 1)) % 1000;
}

// The state each run ended in, "locked" when all ended alike, else "locked 7, monitoring 3";
// then the rate call and its measured scale, of the first run.
std::string EndStates(const std::vector<SimPreciseResult> &runs)
{
    std::string states;
    for (int state = PRECISE_ACQUIRING; state <= PRECISE_LIMITED; ++state) {
        int count = 0;
        for (const SimPreciseResult &r : runs)
            count += r.endState == state;
        if (count == 0)
            continue;
        states += states.empty() ? "" : ", ";
        states += PreciseStateWord(static_cast<PreciseState>(state));
        if (count != static_cast<int>(runs.size()))
            states += " " + std::to_string(count);
    }
    char call[64];
    std::snprintf(call, sizeof call, "; %s, scale %.4g", RateCallWord(static_cast<RateCall>(runs.front().rateCall)),
                  runs.front().rateScale);
    return states + call;
}

// One row of the disturbances' table: a case over its seeds.
void WriteDisturbanceRow(std::FILE *out, const char *name, const std::vector<SimPreciseResult> &runs)
{
    double lockSumS = 0, lockMaxS = 0, meanSumMs = 0, p99Ms = 0, largestMs = 0, beyondS = 0, longestBeyondS = 0,
           monitoringSumS = 0, recoveryS = 0;
    int unlocked = 0, steps = 0, away = 0, unrecovered = 0, disturbed = 0;
    for (const SimPreciseResult &r : runs) {
        unlocked += r.lockS < 0;
        if (r.lockS >= 0) {
            lockSumS += r.lockS;
            lockMaxS = std::max(lockMaxS, r.lockS);
            meanSumMs += r.meanAbsAfterLockMs;
            p99Ms = std::max(p99Ms, r.p99AbsAfterLockMs);
        }
        largestMs = std::max(largestMs, r.largestAbsMs);
        beyondS = std::max(beyondS, r.beyondSlopS);
        longestBeyondS = std::max(longestBeyondS, r.longestBeyondSlopS);
        steps += r.stepsAfterFirst;
        away += r.stepsAway;
        monitoringSumS += r.monitoringS;
        disturbed += r.disturbancesEnded > 0;
        unrecovered += r.disturbancesEnded > 0 && r.slowestRecoveryS < 0;
        recoveryS = std::max(recoveryS, r.slowestRecoveryS);
    }
    const int n = static_cast<int>(runs.size());
    const int locked = n - unlocked;
    std::fprintf(out, "| %s | ", name);
    if (locked == 0)
        std::fprintf(out, "never | | |");
    else
        std::fprintf(out, "%.0f / %.0f%s | %.3f | %.3f |", lockSumS / locked, lockMaxS,
                     unlocked ? (" (" + std::to_string(unlocked) + " never)").c_str() : "", meanSumMs / locked, p99Ms);
    std::fprintf(out, " %.1f | %.1f / %.1f | %d (%d) | %.0f | ", largestMs, beyondS, longestBeyondS, steps, away,
                 monitoringSumS / n);
    if (disturbed == 0)
        std::fprintf(out, "- |");
    else if (unrecovered)
        std::fprintf(out, "never in %d of %d |", unrecovered, n);
    else
        std::fprintf(out, "%.0f |", recoveryS);
    std::fprintf(out, " %s |\n", EndStates(runs).c_str());
}

// Every disturbance case with the seeds and starts of the 1 ms timer's cases.
void WriteDisturbanceTable(std::FILE *out, const Options &options)
{
    std::fprintf(out, "| case | time to lock, mean / max (s) | mean \\|offset\\| after lock (ms) | 99th percentile (ms) "
                      "| largest \\|offset\\| (ms) | beyond the slop, in all / longest in a row (s) "
                      "| steps after the first (away from the board) | monitoring, mean (s) "
                      "| slowest recovery to 3 ms (s) | end state; rate call, scale |\n"
                      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const SimDisturbanceCase &c : SimDisturbanceCases()) {
        std::vector<SimPreciseResult> runs;
        for (int seed = 1; seed <= options.seeds; ++seed) {
            SimScenario scenario = c.scenario;
            scenario.seed = static_cast<std::uint32_t>(seed);
            scenario.startMsOfDay = StartMsOfDayForSeed(c.scenario.startMsOfDay, seed);
            runs.push_back(RunPreciseSimulation(scenario));
        }
        WriteDisturbanceRow(out, c.name, runs);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "usage: clock_simulation [--hours H] [--seeds N] [--table FILE] [--precise-table FILE] "
                             "[--disturbance-table FILE] [--data FILE]\n");
        return 2;
    }
    const std::int64_t durationS = static_cast<std::int64_t>(options.hours * 3600);
    std::vector<CaseFigures> oneMsTimer;
    std::vector<CaseFigures> defaultTimer;
    std::vector<SimScenario> plotted;
    std::vector<SimResult> plottedResults;
    for (LONG slopMs : kSlopsMs) {
        for (int driftPpm : kDriftsPpm) {
            CaseFigures figures;
            figures.slopMs = slopMs;
            figures.driftPpm = driftPpm;
            for (int seed = 1; seed <= options.seeds; ++seed) {
                SimScenario scenario = SimDefaultScenario(slopMs, driftPpm);
                scenario.durationS = durationS;
                scenario.seed = static_cast<std::uint32_t>(seed);
                scenario.startMsOfDay = 12 * 3600 * 1000 + (137 + 397 * (seed - 1)) % 1000;
                scenario.sampleEveryS = seed == 1 && options.dataPath ? kSampleEveryS : 0;
                SimResult result = RunSimulation(scenario);
                figures.Add(result, static_cast<double>(durationS));
                if (seed == 1) {
                    plotted.push_back(scenario);
                    plottedResults.push_back(result);
                }
            }
            oneMsTimer.push_back(figures);

            // The default timer leaves no jitter to speak of: one run is the case.
            SimScenario scenario = SimDefaultScenario(slopMs, driftPpm);
            scenario.durationS = durationS;
            scenario.timerTickUs = kDefaultTimerTickUs;
            scenario.jitterMaxUs = 0;
            CaseFigures timer;
            timer.slopMs = slopMs;
            timer.driftPpm = driftPpm;
            timer.Add(RunSimulation(scenario), static_cast<double>(durationS));
            defaultTimer.push_back(timer);
        }
    }

    std::FILE *table = options.tablePath ? std::fopen(options.tablePath, "w") : stdout;
    if (!table) {
        std::perror(options.tablePath);
        return 1;
    }
    std::fprintf(table,
                 "The program's figures, on the 1 ms system timer it asks for: polls 52 to 53 ms apart (%d "
                 "seed%s of the jitter and start per case).\n\n",
                 options.seeds, options.seeds == 1 ? "" : "s");
    WriteTable(table, oneMsTimer);
    std::fprintf(table, "\nWhen the 1 ms timer is refused, on the default 15.625 ms system timer: polls 62.5 ms "
                        "apart, 16 to a second.\n\n");
    WriteTable(table, defaultTimer);
    std::FILE *precise = options.preciseTablePath ? std::fopen(options.preciseTablePath, "w") : table;
    std::FILE *data = options.dataPath ? std::fopen((std::string(options.dataPath) + ".precise").c_str(), "w") : nullptr;
    if (!precise || (options.dataPath && !data)) {
        std::perror("clock_simulation");
        return 1;
    }
    if (precise == table)
        std::fprintf(table, "\nThe precise mode, slop 150 ms:\n\n");
    WritePreciseTable(precise, options, durationS, data);
    if (data)
        std::fclose(data);
    std::FILE *disturbed = options.disturbanceTablePath ? std::fopen(options.disturbanceTablePath, "w") : precise;
    if (!disturbed) {
        std::perror(options.disturbanceTablePath);
        return 1;
    }
    if (disturbed == precise)
        std::fprintf(precise, "\nThe precise mode against disturbances, slop 150 ms:\n\n");
    WriteDisturbanceTable(disturbed, options);
    if (disturbed != precise)
        std::fclose(disturbed);
    if (precise != table)
        std::fclose(precise);
    if (table != stdout)
        std::fclose(table);
    if (options.dataPath) {
        std::FILE *data = std::fopen(options.dataPath, "w");
        if (!data) {
            std::perror(options.dataPath);
            return 1;
        }
        WriteData(data, plotted, plottedResults);
        std::fclose(data);
    }
    return 0;
}
