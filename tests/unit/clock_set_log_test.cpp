// Every clock step on record: the entry of a correction, at most one a minute.
#include "service/clock_set_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_service.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

class ClockSetLogTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEverything(); }
    void TearDown() override { EndEverything(); }

    // A correction at `atMs` of the system's tick count.
    void CorrectAt(ULONGLONG atMs, int utc = 0)
    {
        g_fakeKernel.tickCountMs = atMs;
        const ClockCorrection correction = {FakeTime(2026, 3, 1, 12, 34, 57, 20), FakeTime(2026, 3, 1, 12, 34, 56, 80),
                                            920, utc};
        RecordClockSet(&correction);
    }
};

TEST_F(ClockSetLogTest, AnEntryCarriesTheTimesTheOffsetAndTheTimeBase)
{
    CorrectAt(5000);
    ASSERT_EQ(g_fakeService.events.size(), 1u);
    EXPECT_EQ(g_fakeService.events[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(g_fakeService.events[0].eventId, 0x40000002u);
    EXPECT_THAT(g_fakeService.events[0].strings,
                ElementsAre("2026-03-01 12:34:56.080", "2026-03-01 12:34:57.020", "+920", "local time", "0"));
    CorrectAt(65000, 1);
    ASSERT_EQ(g_fakeService.events.size(), 2u);
    EXPECT_EQ(g_fakeService.events[1].strings[3], "UTC");
}

// Corrections at these times (ms of the tick count): which write an entry, and the count of
// unrecorded ones each entry carries.
struct RateCase {
    const char *name;
    std::vector<ULONGLONG> atMs;
    std::vector<std::string> unrecordedPerEntry;
};

void PrintTo(const RateCase &c, std::ostream *os) { *os << c.name; }

class RateTable : public ClockSetLogTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(RateTable, WritesAtMostOneEntryAMinute)
{
    for (ULONGLONG atMs : GetParam().atMs)
        CorrectAt(atMs);
    std::vector<std::string> unrecorded;
    for (const FakeEvent &event : g_fakeService.events)
        unrecorded.push_back(event.strings.at(4));
    EXPECT_EQ(unrecorded, GetParam().unrecordedPerEntry);
}

INSTANTIATE_TEST_SUITE_P(
    Spacing, RateTable,
    ::testing::Values(RateCase{"FirstAlways", {0}, {"0"}},
                      RateCase{"WithinTheMinuteCounted", {1000, 2000, 60999}, {"0"}},
                      RateCase{"AMinuteLaterWithTheCount", {1000, 2000, 60999, 61000}, {"0", "2"}},
                      RateCase{"AfterAQuietSpellNoneMissed", {1000, 500000}, {"0", "0"}},
                      // A board that keeps the clock out of step: a correction every 2 s.
                      RateCase{"EveryTwoSecondsForTwoMinutes",
                               {0,     2000,  4000,  6000,  8000,  10000, 12000, 14000, 16000, 18000, 20000, 22000,
                                24000, 26000, 28000, 30000, 32000, 34000, 36000, 38000, 40000, 42000, 44000, 46000,
                                48000, 50000, 52000, 54000, 56000, 58000, 60000, 62000, 120000},
                               {"0", "29", "1"}}),
    [](const ::testing::TestParamInfo<RateCase> &info) { return info.param.name; });

// Corrections at these times, then ticks at these (negative: the closing sequence's): the count
// left unrecorded is written once a minute has passed since the last entry, or at the stop.
TEST_F(ClockSetLogTest, NoCountIsLost)
{
    struct Case {
        std::vector<ULONGLONG> correctionsMs;
        std::vector<long long> ticksMs;
        std::vector<std::string> counts;  // of the count entries
    };
    const Case cases[] = {{{0, 1000, 2000}, {30000, 59999, 60000, 61000}, {"2"}},
                          {{0, 1000}, {5000, -6000}, {"1"}},
                          {{0, 70000}, {130000, -131000}, {}},
                          {{0, 1000, 61000, 62000}, {62050}, {}}};
    for (const Case &c : cases) {
        EndEverything();
        ResetEverything();
        for (ULONGLONG atMs : c.correctionsMs)
            CorrectAt(atMs);
        for (long long atMs : c.ticksMs) {
            g_fakeKernel.tickCountMs = static_cast<ULONGLONG>(atMs < 0 ? -atMs : atMs);
            FlushClockSetCount(atMs < 0);
        }
        std::vector<std::string> counts;
        for (const FakeEvent &event : g_fakeService.events)
            if (event.eventId == 0x40000006u)
                counts.push_back(event.strings.at(0));
        EXPECT_EQ(counts, c.counts) << c.correctionsMs.size() << " corrections";
    }
}

}  // namespace
