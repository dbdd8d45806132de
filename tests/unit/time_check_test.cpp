// The time-code check: reading, arming, comparing and correcting the clock.
#include "engine/time_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/console_output.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "time_check_setup.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

const char kEnable[] = "AdjustTokenPrivileges 0x70 enable count=1 luid=22:0 attributes=2 16 (nil) (nil)";
const char kDisable[] = "AdjustTokenPrivileges 0x70 disable-all (nil) 0 (nil) (nil)";

// A local correction sets the clock twice, so that the second call converts with the
// daylight-saving state the first one brought about.
std::vector<std::string> LocalSetTwice(const std::string &time)
{
    return {"SetLocalTime " + time, "SetLocalTime " + time};
}

// A time-code word: hours, minutes, seconds given as packed BCD bytes, and the frame byte.
DWORD Word(BYTE hours, BYTE minutes, BYTE seconds, BYTE frame)
{
    return static_cast<DWORD>(hours) << 24 | static_cast<DWORD>(minutes) << 16 | static_cast<DWORD>(seconds) << 8 |
           frame;
}

class TimeCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeReset();
        FakeReaderReset();
        g_console = ConsoleState{0};
        StartTestTimeCheck(150, 0);
    }

    // One tick on which both reads return `word`.
    int Tick(DWORD word)
    {
        FakeQueueWord(word);
        FakeQueueWord(word);
        return CheckTime();
    }

    // An arming tick, then the firing tick of `word`'s second, against the computer clock
    // `now` (local or UTC by the settings). Returns the firing tick's result; the calls
    // recorded are those of the firing tick.
    int CompareAt(DWORD word, const SYSTEMTIME &now)
    {
        Tick(word | 0x10);
        g_fake.localTime = now;
        g_fake.systemTime = now;
        g_fake.calls.clear();
        return Tick(word & 0xFFFFFF00);
    }

    // Puts the check in step: one in-step comparison at 12:00:10.
    void BeInStep()
    {
        ASSERT_EQ(CompareAt(0x12001000, FakeTime(2026, 3, 1, 12, 0, 10, 50)), 1);
        ASSERT_EQ(g_timeCheck.inStep, 1);
    }
};

// ---- reading the word ----

TEST_F(TimeCheckTest, TwoEqualReadsOfTheBoardAddress)
{
    Tick(0x12345610);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300"));
    EXPECT_EQ(g_timeCheck.timeCodeWord, 0x12345610u);
}

TEST_F(TimeCheckTest, DifferingReadsTakeAThirdReadWhoseWordStands)
{
    FakeQueueWord(0x12345600);
    FakeQueueWord(0x12345710);
    FakeQueueWord(0x12345820);
    EXPECT_EQ(CheckTime(), 0);
    EXPECT_EQ(FakeCallsNamed("NttcReadTime").size(), 3u);
    EXPECT_EQ(g_timeCheck.timeCodeWord, 0x12345820u);
    // The second word's 0x10 does not count: the third word's 0x20 has no arming bit.
    EXPECT_EQ(g_timeCheck.armed, 0);
}

TEST_F(TimeCheckTest, OnlyTheLastReadsResultCounts)
{
    g_fakeReader.reads = {FakeRead{0, 0x99999999}, FakeRead{1, 0x12345610}, FakeRead{1, 0x12345610}};
    EXPECT_EQ(CheckTime(), 0);
    EXPECT_EQ(g_timeCheck.armed, 1);
}

TEST_F(TimeCheckTest, AFailedLastReadChangesNothing)
{
    g_fakeReader.reads = {FakeRead{1, 0x12345610}, FakeRead{0, 0x12345610}};
    EXPECT_EQ(CheckTime(), 0);
    EXPECT_EQ(g_timeCheck.armed, 0);

    Tick(0x12345610);
    g_fakeReader.reads = {FakeRead{1, 0x12345700}, FakeRead{1, 0x12345600}, FakeRead{0, 0x12345700}};
    EXPECT_EQ(CheckTime(), 0);
    EXPECT_EQ(g_timeCheck.armed, 1);
    EXPECT_THAT(FakeCallsNamed("GetLocalTime"), IsEmpty());
}

TEST_F(TimeCheckTest, AFailedFirstReadIsComparedAsTheWordItLeft)
{
    Tick(0x12345610);
    g_fake.calls.clear();
    g_fakeReader.reads = {FakeRead{0, 0}, FakeRead{1, 0x12345610}};
    EXPECT_EQ(CheckTime(), 0);
    EXPECT_THAT(FakeCallsNamed("NttcReadTime"), ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300"));
}

// ---- arming and firing ----

struct FrameCase {
    const char *name;
    int armedBefore;
    BYTE frame;
    int armedAfter;
    bool compares;
};

void PrintTo(const FrameCase &c, std::ostream *os) { *os << c.name; }

class FrameTable : public TimeCheckTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTable, ArmsAndFiresOnTheFrameByte)
{
    g_timeCheck.armed = GetParam().armedBefore;
    g_fake.localTime = FakeTime(2026, 3, 1, 12, 34, 56, 60);
    EXPECT_EQ(Tick(Word(0x12, 0x34, 0x56, GetParam().frame)), GetParam().compares ? 1 : 0);
    EXPECT_EQ(g_timeCheck.armed, GetParam().armedAfter);
    EXPECT_EQ(FakeCallsNamed("GetLocalTime").size(), GetParam().compares ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    FrameByte, FrameTable,
    ::testing::Values(FrameCase{"ClearZeroDoesNotCompare", 0, 0x00, 0, false},
                      FrameCase{"ClearWithoutBit10StaysClear", 0, 0x0F, 0, false},
                      FrameCase{"ClearWithBit10Arms", 0, 0x10, 1, false},
                      FrameCase{"ClearWithBit10AmongOthersArms", 0, 0xF3, 1, false},
                      FrameCase{"ArmedNonZeroWithoutBit10StaysArmed", 1, 0x05, 1, false},
                      FrameCase{"ArmedNonZeroWithBit10StaysArmed", 1, 0x19, 1, false},
                      FrameCase{"ArmedZeroCompares", 1, 0x00, 0, true}),
    [](const ::testing::TestParamInfo<FrameCase> &info) { return info.param.name; });

TEST_F(TimeCheckTest, OneComparisonPerPassOfTheFrameByte)
{
    g_fake.localTime = FakeTime(2026, 3, 1, 12, 34, 56, 60);
    Tick(0x12345610);
    EXPECT_EQ(Tick(0x12345600), 1);
    EXPECT_EQ(Tick(0x12345600), 0);
    EXPECT_EQ(FakeCallsNamed("GetLocalTime").size(), 1u);
}

struct ExcludedCase {
    const char *name;
    DWORD word;
};

void PrintTo(const ExcludedCase &c, std::ostream *os) { *os << c.name; }

class ExcludedTable : public TimeCheckTest, public ::testing::WithParamInterface<ExcludedCase> {};

TEST_P(ExcludedTable, DisarmsWithoutComparing)
{
    g_console.consoleMode = 1;
    g_timeCheck.inStep = 1;
    EXPECT_EQ(CompareAt(GetParam().word, FakeTime(2026, 3, 1, 7, 7, 7, 0)), 0);
    EXPECT_EQ(g_timeCheck.armed, 0);
    EXPECT_EQ(g_timeCheck.inStep, 1);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300"));
}

INSTANTIATE_TEST_SUITE_P(MinuteSecond, ExcludedTable,
                         ::testing::Values(ExcludedCase{"At135959", 0x13595900}, ExcludedCase{"At140000", 0x14000000},
                                           ExcludedCase{"At005959", 0x00595900}, ExcludedCase{"At000000", 0x00000000},
                                           ExcludedCase{"At235959", 0x23595900}),
                         [](const ::testing::TestParamInfo<ExcludedCase> &info) { return info.param.name; });

// ---- comparing against the slop ----

struct SlopCase {
    const char *name;
    LONG slopMs;
    SYSTEMTIME computer;
    bool inStep;
};

void PrintTo(const SlopCase &c, std::ostream *os) { *os << c.name; }

class SlopTable : public TimeCheckTest, public ::testing::WithParamInterface<SlopCase> {};

// The board 12:34:56 counts as 45,296,050 ms of the day.
TEST_P(SlopTable, ComparesTheDifferenceWithTheSlop)
{
    BeInStep();
    g_timeCheck.inputs.slopMs = GetParam().slopMs;
    const int result = CompareAt(0x12345600, GetParam().computer);
    EXPECT_EQ(result, GetParam().inStep ? 1 : 0);
    EXPECT_EQ(g_timeCheck.inStep, GetParam().inStep ? 1 : 0);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, SlopTable,
    ::testing::Values(SlopCase{"AheadBySlop", 150, FakeTime(2026, 3, 1, 12, 34, 56, 200), true},
                      SlopCase{"AheadPastSlop", 150, FakeTime(2026, 3, 1, 12, 34, 56, 201), false},
                      SlopCase{"BehindBySlop", 150, FakeTime(2026, 3, 1, 12, 34, 55, 900), true},
                      SlopCase{"BehindPastSlop", 150, FakeTime(2026, 3, 1, 12, 34, 55, 899), false},
                      SlopCase{"Exact", 50, FakeTime(2026, 3, 1, 12, 34, 56, 50), true},
                      SlopCase{"Slop50Ahead", 50, FakeTime(2026, 3, 1, 12, 34, 56, 100), true},
                      SlopCase{"Slop50AheadPast", 50, FakeTime(2026, 3, 1, 12, 34, 56, 101), false},
                      SlopCase{"Slop250Behind", 250, FakeTime(2026, 3, 1, 12, 34, 55, 800), true},
                      SlopCase{"Slop250BehindPast", 250, FakeTime(2026, 3, 1, 12, 34, 55, 799), false},
                      SlopCase{"Slop255Ahead", 255, FakeTime(2026, 3, 1, 12, 34, 56, 305), true},
                      SlopCase{"MinutesAway", 250, FakeTime(2026, 3, 1, 12, 30, 0, 0), false},
                      SlopCase{"HoursAway", 250, FakeTime(2026, 3, 1, 3, 34, 56, 50), false}),
    [](const ::testing::TestParamInfo<SlopCase> &info) { return info.param.name; });

// ---- forgiveness and correction ----

TEST_F(TimeCheckTest, TheFirstComparisonAfterStartCorrectsAtOnce)
{
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(1999, 3, 1, 12, 30, 0, 0)), 1);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetLocalTime", kEnable,
                                          "SetLocalTime 1999-03-01 12:34:56.080",
                                          "SetLocalTime 1999-03-01 12:34:56.080", kDisable));
    EXPECT_EQ(FakeFormatTime(g_fake.localTime), "1999-03-01 12:34:56.080");
    EXPECT_EQ(g_fake.localTime.wDayOfWeek, 1);  // kept from the computer clock
    EXPECT_FALSE(g_fake.privilegeEnabled);
    EXPECT_EQ(g_timeCheck.inStep, 1);
    EXPECT_EQ(g_timeCheck.lastComputerSeconds, 0);
}

TEST_F(TimeCheckTest, InStepThenTwoOutOfStepCorrectsOnTheSecond)
{
    const SYSTEMTIME fast = FakeTime(2026, 3, 1, 12, 0, 20, 600);
    BeInStep();
    EXPECT_EQ(CompareAt(0x12002000, fast), 0);
    EXPECT_EQ(g_timeCheck.inStep, 0);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
    EXPECT_EQ(CompareAt(0x12002100, FakeTime(2026, 3, 1, 12, 0, 21, 600)), 1);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice("2026-03-01 12:00:21.080")));
    EXPECT_EQ(g_timeCheck.inStep, 1);
}

TEST_F(TimeCheckTest, AnOutOfStepComparisonAfterACorrectionIsForgivenOnce)
{
    CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0));
    EXPECT_EQ(CompareAt(0x12345700, FakeTime(2026, 3, 1, 12, 40, 0, 0)), 0);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
    EXPECT_EQ(CompareAt(0x12345800, FakeTime(2026, 3, 1, 12, 40, 1, 0)), 1);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice("2026-03-01 12:34:58.080")));
}

TEST_F(TimeCheckTest, AfterAFailedCorrectionTheNextOutOfStepComparisonTriesAgain)
{
    g_fake.setLocalTimeError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    g_fake.setLocalTimeError = 0;
    EXPECT_EQ(CompareAt(0x12345700, FakeTime(2026, 3, 1, 12, 30, 1, 0)), 1);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice("2026-03-01 12:34:57.080")));
}

TEST_F(TimeCheckTest, PrivilegeNotHeldLeavesTheClockAndSkipsTheDisabling)
{
    g_fake.privilegeHeld = false;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetLocalTime", kEnable));
    EXPECT_EQ(FakeFormatTime(g_fake.localTime), "2026-03-01 12:30:00.000");
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, AFailedEnableCallLeavesTheClock)
{
    g_fake.adjustEnableError = ERROR_INVALID_HANDLE;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
    EXPECT_THAT(FakeCallsNamed("AdjustTokenPrivileges"), ElementsAre(kEnable));
}

TEST_F(TimeCheckTest, AFailedSetDisablesThePrivilegeAgain)
{
    g_fake.setLocalTimeError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_THAT(FakeCallsNamed("AdjustTokenPrivileges"), ElementsAre(kEnable, kDisable));
    EXPECT_FALSE(g_fake.privilegeEnabled);
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, AFailedSecondLocalSetIsAFailedCorrection)
{
    g_fake.onCall = [](const std::string &call) {
        if (call.rfind("SetLocalTime", 0) == 0 && FakeCallsNamed("SetLocalTime").size() == 2)
            g_fake.setLocalTimeError = ERROR_ACCESS_DENIED;
    };
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetLocalTime", kEnable,
                                          "SetLocalTime 2026-03-01 12:34:56.080",
                                          "SetLocalTime 2026-03-01 12:34:56.080", kDisable));
    EXPECT_FALSE(g_fake.privilegeEnabled);
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

// Spring forward at 01:00 UTC, from UTC+1 to UTC+2: the computer still shows 01:59:59 when
// the board already shows 03:00:01. A single SetLocalTime would convert with the old offset
// and leave the clock at 04:00:01, an hour ahead.
TEST_F(TimeCheckTest, ACorrectionAcrossADaylightSavingChangeLandsOnTheBoardsTime)
{
    g_fake.zone.on = true;
    g_fake.zone.changeUtc = FakeTime(2026, 3, 29, 1, 0, 0, 0);
    Tick(0x03000110);
    g_fake.systemTime = FakeTime(2026, 3, 29, 0, 59, 59, 0);
    EXPECT_EQ(Tick(0x03000100), 1);
    EXPECT_EQ(FakeFormatTime(g_fake.systemTime), "2026-03-29 01:00:01.080");
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(FakeFormatTime(local), "2026-03-29 03:00:01.080");
}

std::vector<ClockCorrection> g_told;

void Tell(const ClockCorrection *correction) { g_told.push_back(*correction); }

// What was set, from what, by how much, is told once the clock has changed: after a failed
// disabling too, and after a first local set that worked and a second that failed (the clock
// moved); never after a failed set.
TEST_F(TimeCheckTest, EachChangeOfTheClockIsTold)
{
    g_told.clear();
    g_timeCheck.inputs.corrected = Tell;
    g_fake.setLocalTimeError = ERROR_ACCESS_DENIED;
    CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 34, 57, 20));
    EXPECT_TRUE(g_told.empty());
    g_fake.setLocalTimeError = 0;
    g_fake.adjustDisableError = ERROR_INVALID_HANDLE;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 34, 57, 20)), 0);
    ASSERT_EQ(g_told.size(), 1u);
    EXPECT_EQ(FakeFormatTime(g_told[0].before), "2026-03-01 12:34:57.020");
    EXPECT_EQ(FakeFormatTime(g_told[0].set), "2026-03-01 12:34:56.080");
    EXPECT_EQ(g_told[0].offsetMs, 970);
    EXPECT_EQ(g_told[0].utc, 0);
    g_fake.adjustDisableError = 0;
    g_fake.onCall = [](const std::string &call) {
        if (call.rfind("SetLocalTime", 0) == 0 && FakeCallsNamed("SetLocalTime").size() == 2)
            g_fake.setLocalTimeError = ERROR_ACCESS_DENIED;
    };
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_EQ(g_told.size(), 2u);
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, AFailedDisableAfterTheSetGivesZeroAndStaysOutOfStep)
{
    g_fake.adjustDisableError = ERROR_INVALID_HANDLE;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 0);
    EXPECT_EQ(FakeFormatTime(g_fake.localTime), "2026-03-01 12:34:56.080");
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, TheUtcPathReadsAndSetsSystemTime)
{
    g_timeCheck.inputs.useUtc = 1;
    EXPECT_EQ(CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 0, 0)), 1);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetSystemTime", kEnable,
                                          "SetSystemTime 2026-03-01 12:34:56.080", kDisable));
    EXPECT_EQ(CompareAt(0x12345700, FakeTime(2026, 3, 1, 12, 34, 57, 100)), 1);
    EXPECT_THAT(FakeCallsNamed("GetLocalTime"), IsEmpty());
}

TEST_F(TimeCheckTest, AWordThatNamesNoTimeOfDayFailsToSet)
{
    // 0x2A hours decode arithmetically as 30: out of step, and not a time the clock takes.
    EXPECT_EQ(CompareAt(0x2A000100, FakeTime(2026, 3, 1, 6, 0, 1, 50)), 0);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAre("SetLocalTime 2026-03-01 30:00:01.080"));
    EXPECT_EQ(FakeFormatTime(g_fake.localTime), "2026-03-01 06:00:01.050");
    EXPECT_FALSE(g_fake.privilegeEnabled);
}

// ---- across midnight ----

struct MidnightCase {
    const char *name;
    DWORD word;
    SYSTEMTIME computer;
    const char *set;  // nullptr: in step, nothing set
};

void PrintTo(const MidnightCase &c, std::ostream *os) { *os << c.name; }

class MidnightTable : public TimeCheckTest, public ::testing::WithParamInterface<MidnightCase> {};

TEST_P(MidnightTable, TakesTheBoardsDate)
{
    EXPECT_EQ(CompareAt(GetParam().word, GetParam().computer), 1);
    if (GetParam().set)
        EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice(GetParam().set)));
    else
        EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    DateStep, MidnightTable,
    ::testing::Values(
        MidnightCase{"ComputerFastIntoTheNextDay", 0x23595800, FakeTime(2026, 3, 1, 0, 0, 1, 0), "2026-02-28 23:59:58.080"},
        MidnightCase{"ComputerSlowIntoLeapDay", 0x00000100, FakeTime(2024, 2, 28, 23, 59, 59, 500),
                     "2024-02-29 00:00:01.080"},
        MidnightCase{"ComputerFastOverLeapDay", 0x23595800, FakeTime(2024, 3, 1, 0, 0, 2, 0), "2024-02-29 23:59:58.080"},
        MidnightCase{"ComputerFastIntoTheNewYear", 0x23595700, FakeTime(2027, 1, 1, 0, 0, 3, 0),
                     "2026-12-31 23:59:57.080"},
        MidnightCase{"ComputerSlowIntoTheNewYear", 0x00000200, FakeTime(2026, 12, 31, 23, 59, 58, 0),
                     "2027-01-01 00:00:02.080"},
        MidnightCase{"ComputerSlowIntoMonthEnd", 0x00000300, FakeTime(2026, 4, 30, 23, 58, 0, 0), "2026-05-01 00:00:03.080"},
        MidnightCase{"SameDayNearMidnight", 0x23595800, FakeTime(2026, 3, 1, 23, 59, 58, 100), nullptr},
        MidnightCase{"TwelveHoursAheadStaysOnTheDay", 0x00000100, FakeTime(2026, 3, 1, 12, 0, 1, 50),
                     "2026-03-01 00:00:01.080"},
        MidnightCase{"TwelveHoursBehindIsTheDayBefore", 0x12000100, FakeTime(2026, 3, 1, 0, 0, 1, 50),
                     "2026-02-28 12:00:01.080"},
        MidnightCase{"JustUnderTwelveHoursBehind", 0x12000100, FakeTime(2026, 3, 1, 0, 0, 1, 51),
                     "2026-03-01 12:00:01.080"}),
    [](const ::testing::TestParamInfo<MidnightCase> &info) { return info.param.name; });

TEST_F(TimeCheckTest, AcrossMidnightTheOffsetIsTakenTheShortWay)
{
    // 23:59:58 on the board and 00:00:00.150 on the computer: 2.1 s apart, not a day.
    BeInStep();
    g_timeCheck.inputs.slopMs = 250;
    EXPECT_EQ(CompareAt(0x23595800, FakeTime(2026, 3, 2, 0, 0, 0, 150)), 0);
    EXPECT_EQ(g_timeCheck.inStep, 0);
    EXPECT_EQ(CompareAt(0x23595800, FakeTime(2026, 3, 1, 23, 59, 58, 299)), 1);
}

// The day before the clock's first day and the day after its last cannot be set: the
// correction is not tried, and the privilege is left alone.
TEST_F(TimeCheckTest, ABoardDateBeforeTheClocksRangeIsNotSet)
{
    EXPECT_EQ(CompareAt(0x23595800, FakeTime(1601, 1, 1, 0, 0, 1, 0)), 0);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetLocalTime"));
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, ABoardDateAfterTheClocksRangeIsNotSet)
{
    g_timeCheck.inputs.useUtc = 1;
    EXPECT_EQ(CompareAt(0x00000100, FakeTime(30827, 12, 31, 23, 59, 59, 500)), 0);
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetSystemTime"));
    EXPECT_EQ(g_timeCheck.inStep, 0);
}

TEST_F(TimeCheckTest, TheClocksFirstAndLastDaysAreSetAcrossMidnight)
{
    EXPECT_EQ(CompareAt(0x00000100, FakeTime(1601, 1, 1, 23, 59, 59, 500)), 1);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice("1601-01-02 00:00:01.080")));
    EXPECT_EQ(CompareAt(0x23595800, FakeTime(30827, 12, 31, 0, 0, 1, 0)), 0);  // forgiven after the correction
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
    EXPECT_EQ(CompareAt(0x23595800, FakeTime(30827, 12, 31, 0, 0, 1, 0)), 1);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"), ElementsAreArray(LocalSetTwice("30827-12-30 23:59:58.080")));
}

// ---- console mode ----

TEST_F(TimeCheckTest, ConsoleModeBeepsOnEachComparisonAndTracesTheChange)
{
    g_console.consoleMode = 1;
    ::testing::internal::CaptureStdout();
    CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 7, 0));
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(output, " Time Changed 7 \n");
    EXPECT_THAT(g_fake.calls, ElementsAre("NttcReadTime 0x300", "NttcReadTime 0x300", "GetLocalTime", "MessageBeep 0",
                                          kEnable, "SetLocalTime 2026-03-01 12:34:56.080",
                                          "SetLocalTime 2026-03-01 12:34:56.080", kDisable));
    EXPECT_EQ(g_timeCheck.lastComputerSeconds, 7);

    ::testing::internal::CaptureStdout();
    CompareAt(0x12345700, FakeTime(2026, 3, 1, 12, 34, 57, 60));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_THAT(FakeCallsNamed("MessageBeep"), ElementsAre("MessageBeep 0"));
    EXPECT_EQ(g_timeCheck.lastComputerSeconds, 57);
}

TEST_F(TimeCheckTest, ServiceModeNeitherBeepsNorPrints)
{
    ::testing::internal::CaptureStdout();
    CompareAt(0x12345600, FakeTime(2026, 3, 1, 12, 30, 7, 0));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_THAT(FakeCallsNamed("MessageBeep"), IsEmpty());
}

}  // namespace
