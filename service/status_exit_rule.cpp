// The exit status of `-status`.
#include "service/status_exit_rule.h"

namespace {

StatusExit Because(StatusExit status, const char *why, const char **reason)
{
    *reason = why;
    return status;
}

}  // namespace

StatusExit StatusExitFor(const StatusFacts &facts, const char **reason)
{
    if (!facts.readable)
        return Because(STATUS_UNKNOWN, "the state could not be read", reason);
    if (!facts.installed)
        return Because(STATUS_CRITICAL, "not installed", reason);
    if (facts.state == SERVICE_STOPPED && facts.exitCode == ERROR_SERVICE_SPECIFIC_ERROR)
        return Because(STATUS_CRITICAL, "the start-up failed", reason);
    if (facts.state == SERVICE_STOPPED || facts.state == SERVICE_STOP_PENDING)
        return Because(STATUS_CRITICAL, "stopped", reason);
    if (facts.state != SERVICE_RUNNING)
        return Because(STATUS_WARNING, "not running yet", reason);
    if (!facts.published || facts.publishedAgeS > STATUS_STALE_S)
        return Because(STATUS_WARNING, "running, but its published state is stale", reason);
    if (facts.monitoring)
        return Because(STATUS_WARNING, "running, but the clock does not follow it: only measuring", reason);
    // Before the comparisons' age: in holdover there are none, and the state says why.
    if (facts.holdover)
        return Because(STATUS_WARNING, "running, but the board gives no time: holdover", reason);
    if (facts.limited)
        return Because(STATUS_WARNING, "running, but the clock runs beyond what the rate can take back: limited", reason);
    if (!facts.compared || facts.comparedAgeS > STATUS_RECENT_COMPARISON_S)
        return Because(STATUS_WARNING, "running, but no comparison in the last 10 s", reason);
    if (facts.lastOffsetMs > facts.slopMs || -facts.lastOffsetMs > facts.slopMs)
        return Because(STATUS_WARNING, "running, but out of step", reason);
    if (facts.peerSetsClock)
        return Because(STATUS_WARNING, "running, but Windows' time service may set this clock too", reason);
    return Because(STATUS_OK, "running, in step", reason);
}
