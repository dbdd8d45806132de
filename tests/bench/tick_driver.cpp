// Runs N polling ticks of one kind on the lean platform, for counting instructions under
// callgrind (tests/bench/callgrind_ticks.sh): the instructions of a run with N ticks less
// those of a run with none, divided by N, are the instructions of one tick.
//
//   tick_driver KIND N
//
// Exits 0 when the calls made are exactly those of N ticks of the kind, 1 when they are not,
// 2 on a usage error. Nothing is printed on success, so the two runs differ only by the ticks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/time_check.h"
#include "tick_kinds.h"

int main(int argc, char **argv)
{
    const int kind = argc == 3 ? TickKindByName(argv[1]) : -1;
    char *end = nullptr;
    const unsigned long long ticks = argc == 3 ? std::strtoull(argv[2], &end, 10) : 0;
    if (kind < 0 || end == argv[2] || *end != '\0') {
        std::fprintf(stderr, "usage: tick_driver KIND N\nkinds:");
        for (const TickKindInfo &info : kTickKinds)
            std::fprintf(stderr, " %s", info.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    const TickKind tickKind = static_cast<TickKind>(kind);
    // Under -debug a correction prints its trace: keep it off the terminal.
    if (kTickKinds[kind].beeps != 0 && !std::freopen("/dev/null", "w", stdout))
        return 1;

    PrepareTicks(tickKind);
    std::uint64_t resultSum = 0;
    for (unsigned long long tick = 0; tick < ticks; ++tick) {
        RearmTick(tickKind);
        resultSum += static_cast<std::uint64_t>(CheckTime());
    }
    char why[256];
    if (!TickCountsMatch(tickKind, ticks, resultSum, why, sizeof why)) {
        std::fprintf(stderr, "tick_driver: %s\n", why);
        return 1;
    }
    return 0;
}
