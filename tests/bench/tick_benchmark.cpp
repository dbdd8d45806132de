// The cost of one polling tick: CheckTime on the lean platform, for each path a tick takes.
//
// Every iteration is one tick of its kind; RearmTick puts back the two flags the tick
// changed (two stores, inside the timing), so that every iteration takes the same path.
// After the run the lean platform's call counts must be exactly those of that many ticks of
// the kind, or the benchmark reports an error instead of a figure.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/time_check.h"
#include "tick_kinds.h"

namespace {

void BM_Tick(benchmark::State &state, TickKind kind)
{
    PrepareTicks(kind);
    std::uint64_t resultSum = 0;
    for (auto _ : state) {
        RearmTick(kind);
        resultSum += static_cast<std::uint64_t>(CheckTime());
    }
    char why[256];
    if (!TickCountsMatch(kind, static_cast<std::uint64_t>(state.iterations()), resultSum, why, sizeof why))
        state.SkipWithError(why);
}

}  // namespace

// The four paths of the polling loop, then two variants of interest.
BENCHMARK_CAPTURE(BM_Tick, reads, TICK_READS);
BENCHMARK_CAPTURE(BM_Tick, arms, TICK_ARMS);
BENCHMARK_CAPTURE(BM_Tick, in_step, TICK_IN_STEP);
BENCHMARK_CAPTURE(BM_Tick, corrects, TICK_CORRECTS);
BENCHMARK_CAPTURE(BM_Tick, torn_read, TICK_TORN_READ);
BENCHMARK_CAPTURE(BM_Tick, corrects_across_midnight, TICK_CORRECTS_ACROSS_MIDNIGHT);

BENCHMARK_MAIN();
