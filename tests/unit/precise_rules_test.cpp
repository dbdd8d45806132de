// The precise mode's pure rules: the bracket from two reads, which brackets the fit keeps, and
// a rate in the units of the system's time adjustment.
#include "engine/edge_fit.h"

#include <gtest/gtest.h>

#include "engine/clock_servo.h"

namespace {

const LONGLONG kCountsPerMs = 10000;  // a 10 MHz counter
const LONGLONG kMostWidth = 120 * kCountsPerMs;

struct ReadPairCase {
    const char *name;
    LONG earlierSecond;
    LONGLONG laterAfterCount;
    LONG laterSecond;
    BracketOutcome outcome;
};

TEST(PreciseRulesTest, TheBracketFromTwoReads)
{
    const ReadPairCase cases[] = {
        {"the next second", 100, 52 * kCountsPerMs, 101, BRACKET_MADE},
        {"midnight is an ordinary second", 86399, 52 * kCountsPerMs, 0, BRACKET_MADE},
        {"as wide as may be", 100, 7 + kMostWidth, 101, BRACKET_MADE},
        {"no edge between", 100, 52 * kCountsPerMs, 100, BRACKET_SAME_SECOND},
        {"a second skipped", 100, 52 * kCountsPerMs, 102, BRACKET_NOT_NEXT},
        {"back by one", 100, 52 * kCountsPerMs, 99, BRACKET_NOT_NEXT},
        {"too wide to place the edge", 100, 8 + kMostWidth, 101, BRACKET_TOO_WIDE},
    };
    for (const ReadPairCase &c : cases) {
        SCOPED_TRACE(c.name);
        EdgeBracket bracket{-1, -1, -1};
        EXPECT_EQ(BracketFromReads(7, c.earlierSecond, c.laterAfterCount, c.laterSecond, kMostWidth, &bracket),
                  c.outcome);
        if (c.outcome == BRACKET_MADE) {
            EXPECT_EQ(bracket.earliestCount, 7);
            EXPECT_EQ(bracket.latestCount, c.laterAfterCount);
            EXPECT_EQ(bracket.secondOfDay, c.laterSecond);
        }
    }
}

// Twenty brackets of an edge every second on the counter, then the brackets offered: one no
// line through the others can reach is dropped; a second dropped in a row that agrees with the
// first starts the fit again from the two.
TEST(PreciseRulesTest, ABracketNoLineFitsIsDroppedAndTooManyStartTheFitAgain)
{
    struct Case {
        const char *name;
        LONGLONG shiftMs;  // of the offered brackets from where the edge is
        int offers;
        int lastTaken;
        DWORD rejected;
        DWORD restarts;
    };
    const Case cases[] = {{"in line", 0, 1, 1, 0, 0},
                          {"ending before the edge", -60, 1, 0, 1, 0},
                          {"a board that jumped half a second", 500, 2, 1, 2, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        static EdgeFit fit;
        StartEdgeFit(&fit, 1000 * kCountsPerMs);
        LONG second = 100;
        // Each edge 2 to 50 ms into its 52 ms bracket, in turn.
        auto offer = [&](LONGLONG shiftMs) {
            const LONGLONG edge = second * 1000 * kCountsPerMs;
            const LONGLONG earliest = edge - (2 + (second * 7) % 48) * kCountsPerMs + shiftMs * kCountsPerMs;
            const int taken = AddEdgeBracket(&fit, EdgeBracket{earliest, earliest + 52 * kCountsPerMs, second});
            ++second;
            return taken;
        };
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(offer(0), 1);
        int taken = 0;
        for (int i = 0; i < c.offers; ++i)
            taken = offer(c.shiftMs);
        EXPECT_EQ(taken, c.lastTaken);
        EXPECT_EQ(fit.rejected, c.rejected);
        EXPECT_EQ(fit.restarts, c.restarts);
    }
}

// The servo removes the offset over 10 s (1 ms is 100 ppm) and feeds the clock's own rate
// forward: whole within a sure half-width (1 ms, 5 ppm), beyond it the sure part whole and
// the rest at sure / half-width, and never past 500 ppm.
TEST(PreciseRulesTest, TheServosRate)
{
    struct Case {
        const char *name;
        ServoInput input;
        double ratePpm;
    };
    const Case cases[] = {
        {"in step", {0, 0.2, 0, 0.1}, 0},
        {"a narrow offset whole", {1, 0.5, 0, 0}, -100},
        {"a sure half-width, still whole", {1, 1, 0, 0}, -100},
        {"within a wide estimate, at a quarter", {1, 4, 0, 0}, -25},
        {"behind, the sure part whole and the rest at half", {-3, 2, 0, 0}, 200},
        {"far ahead, bounded", {10, 4, 0, 0}, -500},
        {"the clock's own rate fed forward", {0, 0, 20, 1}, -20},
        {"a wide rate, the sure part whole and the rest at half", {0, 0, 20, 10}, -15},
        {"a rate beyond the bound", {0, 0, -600, 0}, 500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(ServoRatePpm(c.input), c.ratePpm, 1e-9);
    }
}

// One unit of the legacy call is 100 ns per 15.625 ms tick, 6.4 ppm; the precise call's units
// are finer, and the rule is the same: the rate is adjustment / increment - 1.
TEST(PreciseRulesTest, ARateInTheUnitsOfTheTimeAdjustment)
{
    struct Case {
        ULONGLONG increment;
        double ratePpm;
        ULONGLONG adjustment;
        double rateBackPpm;
    };
    const Case cases[] = {{156250, 0, 156250, 0},          {156250, 6.4, 156251, 6.4},
                          {156250, 3.19, 156250, 0},       {156250, 3.21, 156251, 6.4},
                          {156250, -500, 156172, -499.2},  {156250, 500, 156328, 499.2},
                          {1000000000, 0.5, 1000000500, 0.5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ratePpm);
        EXPECT_EQ(AdjustmentForRate(c.increment, c.ratePpm), c.adjustment);
        EXPECT_NEAR(RateForAdjustment(c.adjustment, c.increment), c.rateBackPpm, 1e-9);
    }
}

}  // namespace
