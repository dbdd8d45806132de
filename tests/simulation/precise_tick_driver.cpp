// Runs N polling ticks of the precise mode on the simulation's platform, for counting
// instructions under callgrind (tests/bench/callgrind_ticks.sh):
//
//   precise_tick_driver no_fit N    time stands still: the board's second never changes, so no
//                                   tick makes a bracket, fits or reads the clock
//   precise_tick_driver running N   the mode as it runs at +20 ppm from its start: about one
//                                   tick in 19 closes a bracket, fits the line and sets the rate
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock_simulation.h"

int main(int argc, char **argv)
{
    const bool noFit = argc == 3 && std::strcmp(argv[1], "no_fit") == 0;
    if (argc != 3 || (!noFit && std::strcmp(argv[1], "running") != 0)) {
        std::fprintf(stderr, "usage: precise_tick_driver no_fit|running N\n");
        return 2;
    }
    SimScenario scenario = SimPreciseScenario(20);
    scenario.mostTicks = std::strtoull(argv[2], nullptr, 10);
    if (noFit) {
        scenario.pollMs = scenario.jitterMaxUs = scenario.timerTickUs = scenario.preemptPercent = 0;
        scenario.costs = SimCallCosts{};
    }
    RunPreciseSimulation(scenario);
    return 0;
}
