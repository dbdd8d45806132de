// The clock's rate: what the start does with a rate found in force, and which rates the
// program takes for its own, sets and hands back (the legacy call, on the fake's adjustment).
#include "engine/clock_rate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/service_names.h"
#include "engine/rate_mark.h"
#include "fake_platform.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const DWORD kIncrement = 156250;  // one unit is 6.4 ppm

class ClockRateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        g_fake.registry[std::string("HKLM\\") + kServiceKeyPath];
        g_fake.timeAdjustment.readable = true;
    }
    void TearDown() override { EndEverything(); }
    void InForce(DWORD adjustment)
    {
        g_fake.timeAdjustment.disabled = FALSE;
        g_fake.timeAdjustment.adjustment = adjustment;
    }
    std::vector<std::string> AdjustmentCalls() { return CallsOnly({"SetSystemTimeAdjustment"}); }
    TimeCheckInputs inputs = {};
};

// What is in force at the start, and the mark of the program's own: only a rate that matches
// the mark is handed back; one that cannot be read never becomes an adjustment of 0.
TEST_F(ClockRateTest, TheStartHandsBackOnlyTheProgramsOwnLeftover)
{
    struct Case {
        const char *name;
        bool readable;
        DWORD inForce;  // 0: disabled
        ULONGLONG marked;  // 0: no mark
        RateFound found;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"nothing in force", true, 0, 0, RATE_FOUND_NONE, {}},
        {"a stale mark goes", true, 0, 156300, RATE_FOUND_NONE, {}},
        {"another's rate", true, 156300, 0, RATE_FOUND_FOREIGN, {}},
        {"another's rate over a mark of ours", true, 156300, 156200, RATE_FOUND_FOREIGN, {}},
        {"our own leftover", true, 156300, 156300, RATE_FOUND_OWN, {"SetSystemTimeAdjustment 0 1"}},
        {"unreadable", false, 156300, 156300, RATE_FOUND_UNREADABLE, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        g_fake.timeAdjustment.readable = c.readable;
        if (c.inForce)
            InForce(c.inForce);
        if (c.marked)
            MarkOwnRate(0, c.marked);
        EXPECT_EQ(StartClockRate(&inputs), c.found);
        EXPECT_THAT(AdjustmentCalls(), ElementsAreArray(c.calls));
        int precise = 0;
        ULONGLONG marked = 0;
        EXPECT_EQ(ReadOwnRateMark(&precise, &marked), c.found != RATE_FOUND_NONE && c.found != RATE_FOUND_OWN && c.marked != 0);
        // Without a readable adjustment no rate is ever set: 0 would stop the clock.
        double ratePpm = 1;
        int foreign = 1;
        UseRateCall(RATE_CALL_LEGACY, 1);
        if (!c.readable) {
            EXPECT_EQ(SetClockRate(&inputs, 6.4, &ratePpm, &foreign), 0);
            EXPECT_THAT(AdjustmentCalls(), ElementsAreArray(c.calls));
        }
    }
}

// Steering with a measured scale; a rate read back that is not the one set is another's (or
// none), never the program's; the hand-back touches only the program's own.
TEST_F(ClockRateTest, OnlyTheRateReadBackAsSetIsTheProgramsOwn)
{
    struct Case {
        const char *name;
        double scale;
        DWORD replacedBy;  // after the set: another's rate (0: none)
        bool ignored;      // the system keeps nothing of the set
        int inForce;
        int foreign;
        double ratePpm;
        std::vector<std::string> calls;  // including the hand-back's
    };
    const Case cases[] = {
        {"as documented", 1, 0, false, 1, 0, 6.4, {"SetSystemTimeAdjustment 156251 0", "SetSystemTimeAdjustment 0 1"}},
        {"reversed", -1, 0, false, 1, 0, 6.4, {"SetSystemTimeAdjustment 156249 0", "SetSystemTimeAdjustment 0 1"}},
        {"replaced by another's", 1, 156400, false, 0, 1, 960, {"SetSystemTimeAdjustment 156251 0"}},
        {"ignored", 1, 0, true, 0, 0, 0, {"SetSystemTimeAdjustment 156251 0"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        g_fake.timeAdjustment.ignoreSets = c.ignored;
        ASSERT_EQ(StartClockRate(&inputs), RATE_FOUND_NONE);
        UseRateCall(RATE_CALL_LEGACY, c.scale);
        double ratePpm = 0;
        int foreign = 0;
        SetClockRate(&inputs, 6.4, &ratePpm, &foreign);
        if (c.replacedBy)
            InForce(c.replacedBy);
        EXPECT_EQ(SetClockRate(&inputs, 6.4, &ratePpm, &foreign), c.inForce);
        EXPECT_EQ(foreign, c.foreign);
        EXPECT_NEAR(ratePpm, c.ratePpm, 1e-9);
        HandBackClockRate(&inputs);
        EXPECT_THAT(AdjustmentCalls(), ElementsAreArray(c.calls));
        if (c.replacedBy) {
            EXPECT_EQ(g_fake.timeAdjustment.adjustment, c.replacedBy);
        }
    }
}

}  // namespace
