// The rules of -status: its exit status from what it read, and whether Windows' time service
// may set this clock too.
#include "service/status_exit_rule.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/peer_rule.h"

namespace {

struct ExitCase {
    const char *name;
    StatusFacts facts;
    StatusExit exit;
    const char *reason;  // the words -status prints after the status
};

// Running, published 2 s ago, compared 1 s ago 12 ms ahead with a slop of 150, alone.
StatusFacts Fine(void) { return StatusFacts{1, 1, SERVICE_RUNNING, 0, 1, 2, 1, 1, 12, 150, 0, 0, 0, 0}; }

StatusFacts With(void (*change)(StatusFacts *))
{
    StatusFacts facts = Fine();
    change(&facts);
    return facts;
}

TEST(StatusRulesTest, TheExitStatusFollowsThePluginConvention)
{
    const char *const inStep = "running, in step";
    const char *const noRecent = "running, but no comparison in the last 10 s";
    const char *const stale = "running, but its published state is stale";
    const char *const stopped = "stopped";
    const ExitCase cases[] = {
        {"running, in step, recent", Fine(), STATUS_OK, inStep},
        {"a difference of the slop itself is in step", With([](StatusFacts *f) { f->lastOffsetMs = -150; }), STATUS_OK,
         inStep},
        {"compared 10 s ago", With([](StatusFacts *f) { f->comparedAgeS = 10; }), STATUS_OK, inStep},
        {"out of step", With([](StatusFacts *f) { f->lastOffsetMs = 151; }), STATUS_WARNING, "running, but out of step"},
        {"compared over 10 s ago", With([](StatusFacts *f) { f->comparedAgeS = 10.1; }), STATUS_WARNING, noRecent},
        {"no comparison yet", With([](StatusFacts *f) { f->compared = 0; }), STATUS_WARNING, noRecent},
        {"published over 30 s ago: stale", With([](StatusFacts *f) { f->publishedAgeS = 30.1; }), STATUS_WARNING, stale},
        {"nothing published", With([](StatusFacts *f) { f->published = 0; }), STATUS_WARNING, stale},
        {"the precise mode only measures", With([](StatusFacts *f) { f->monitoring = 1; }), STATUS_WARNING,
         "running, but the clock does not follow it: only measuring"},
        // Holdover compares nothing, and says so rather than that no comparison is recent.
        {"holdover", With([](StatusFacts *f) { f->holdover = 1, f->comparedAgeS = 60; }), STATUS_WARNING,
         "running, but the board gives no time: holdover"},
        {"limited, out of step", With([](StatusFacts *f) { f->limited = 1, f->lastOffsetMs = 151; }), STATUS_WARNING,
         "running, but the clock runs beyond what the rate can take back: limited"},
        {"Windows' time service sets the clock too", With([](StatusFacts *f) { f->peerSetsClock = 1; }),
         STATUS_WARNING, "running, but Windows' time service may set this clock too"},
        {"starting", With([](StatusFacts *f) { f->state = SERVICE_START_PENDING; }), STATUS_WARNING, "not running yet"},
        {"stopping", With([](StatusFacts *f) { f->state = SERVICE_STOP_PENDING; }), STATUS_CRITICAL, stopped},
        {"stopped, a stale state left", With([](StatusFacts *f) { f->state = SERVICE_STOPPED; }), STATUS_CRITICAL,
         stopped},
        {"the start-up failed",
         With([](StatusFacts *f) { f->state = SERVICE_STOPPED, f->exitCode = ERROR_SERVICE_SPECIFIC_ERROR; }),
         STATUS_CRITICAL, "the start-up failed"},
        {"not installed", With([](StatusFacts *f) { f->installed = 0; }), STATUS_CRITICAL, "not installed"},
        {"nothing could be read", With([](StatusFacts *f) { f->readable = 0; }), STATUS_UNKNOWN,
         "the state could not be read"},
    };
    for (const ExitCase &c : cases) {
        const char *reason = nullptr;
        EXPECT_EQ(StatusExitFor(c.facts, &reason), c.exit) << c.name;
        EXPECT_STREQ(reason, c.reason) << c.name;
    }
}

// Group Policy's Type and Enabled win over the service's own; "-" is a missing value.
TEST(StatusRulesTest, WindowsTimeServiceSetsTheClockUnlessDisabledNoSyncOrItsClientIsOff)
{
    const int M = PEER_VALUE_MISSING;
    struct Case {
        int installed;
        DWORD startType;
        const char *policyType, *localType;
        int policyClient, localClient;
        int sets;
        PeerSource decidedBy;
    };
    const Case cases[] = {
        {1, 3, "", "NTP", M, M, 1, PEER_FROM_LOCAL},         {1, 2, "", "NT5DS", M, M, 1, PEER_FROM_LOCAL},
        {1, 3, "", "", M, M, 1, PEER_FROM_LOCAL},            {1, 4, "NTP", "NTP", M, M, 0, PEER_FROM_LOCAL},
        {0, 2, "NTP", "NTP", M, M, 0, PEER_FROM_LOCAL},      {1, 2, "", "nosync", M, M, 0, PEER_FROM_LOCAL},
        {1, 2, "NTP", "NoSync", M, M, 1, PEER_FROM_POLICY},  {1, 2, "NoSync", "NTP", M, M, 0, PEER_FROM_POLICY},
        {1, 2, "", "NTP", 0, 1, 0, PEER_FROM_POLICY},        {1, 2, "", "NTP", 1, 0, 1, PEER_FROM_LOCAL},
        {1, 2, "", "NTP", M, 0, 0, PEER_FROM_LOCAL},         {1, 2, "NT5DS", "NTP", 1, M, 1, PEER_FROM_POLICY},
    };
    for (const Case &c : cases) {
        TimeServicePeer peer{c.installed, c.startType, {}, {}, c.policyClient, c.localClient};
        std::strncpy(peer.policyType, c.policyType, sizeof peer.policyType - 1);
        std::strncpy(peer.localType, c.localType, sizeof peer.localType - 1);
        const PeerVerdict verdict = JudgePeer(peer);
        const std::string name = std::string(c.policyType) + "/" + c.localType + " " + std::to_string(c.policyClient) +
                                 "/" + std::to_string(c.localClient) + " start " + std::to_string(c.startType);
        EXPECT_EQ(verdict.setsClock, c.sets) << name;
        EXPECT_EQ(verdict.decidedBy, c.decidedBy) << name;
        EXPECT_STREQ(verdict.type, c.policyType[0] ? c.policyType : c.localType) << name;
    }
}

}  // namespace
