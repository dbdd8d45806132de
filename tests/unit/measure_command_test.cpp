// -measure: its argument, the summary it draws, and what it touches on the fake.
#include "service/measure_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service_manager.h"
#include "engine/settings_word.h"
#include "service/command_line.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct SecondsCase {
    std::vector<const char *> args;
    int taken;
    DWORD seconds;
};

class SecondsTable : public ::testing::TestWithParam<SecondsCase> {};

TEST_P(SecondsTable, TakesOneNumberFrom1To86400)
{
    std::vector<const char *> args = {"RUZivEr2", "-measure"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    DWORD seconds = 0;
    EXPECT_EQ(ParseMeasureSeconds(static_cast<int>(args.size()), const_cast<char **>(args.data()), &seconds),
              GetParam().taken);
    if (GetParam().taken) {
        EXPECT_EQ(seconds, GetParam().seconds);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SecondsTable,
    ::testing::Values(SecondsCase{{}, 1, 120}, SecondsCase{{"90"}, 1, 90}, SecondsCase{{"1"}, 1, 1},
                      SecondsCase{{"86400"}, 1, 86400}, SecondsCase{{"0086400"}, 1, 86400}, SecondsCase{{"0"}, 0, 0},
                      SecondsCase{{"86401"}, 0, 0}, SecondsCase{{"99999999999999999999"}, 0, 0},
                      SecondsCase{{"+90"}, 0, 0}, SecondsCase{{"-90"}, 0, 0}, SecondsCase{{" 90"}, 0, 0},
                      SecondsCase{{"90s"}, 0, 0}, SecondsCase{{"1e3"}, 0, 0}, SecondsCase{{""}, 0, 0},
                      SecondsCase{{"90", "x"}, 0, 0}));

// The mean and spread of the sums, the delay that brings the mean to 0, and the exit status,
// as printed: the proposal is worded as the documentation gives it, in the stored time base.
struct SummaryCase {
    int locked;
    DWORD seconds;
    double sumMs, sumSquaresMs, storedDelayMs;
    int utc;
    const char *text;
    int exit;
};

class SummaryTable : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryTable, PrintsTheMeanSpreadAndProposal)
{
    const SummaryCase &c = GetParam();
    PreciseClockState measured = {};
    measured.measureLocked = c.locked;
    measured.measuredSeconds = c.seconds;
    measured.measuredSumMs = c.sumMs;
    measured.measuredSumSquaresMs = c.sumSquaresMs;
    measured.options.edgeDelayMs = c.storedDelayMs;
    g_measuringRun.ranS = 90.2;
    g_settings = SettingsState{0, 120, c.utc, 1, 0};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ReportMeasurement(SummarizeMeasurement(measured)), c.exit);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Sums, SummaryTable,
    ::testing::Values(
        // 39, 41, 40, 42: mean 40.5, spread sqrt(1.25).
        SummaryCase{1, 4, 162, 6566, 0, 0,
                    "Seconds measured: 4, from the first within 2 ms on, in 90 s\n"
                    "Board against this clock: mean +40.500 ms, spread 1.118 ms (standard deviation)\n"
                    "If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is 40.5 ms: "
                    "RUZivEr2 -load L 120 precise 40.5\n",
                    MEASURE_LOCKED},
        // A board measured with 40 ms stored shows what is left: -1.26 ms, so 38.74, to 38.7.
        SummaryCase{1, 2, -2.52, 3.1752, 40, 1,
                    "Seconds measured: 2, from the first within 2 ms on, in 90 s\n"
                    "Board against this clock: mean -1.260 ms, spread 0.000 ms (standard deviation)\n"
                    "If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is 38.7 ms: "
                    "RUZivEr2 -load S 120 precise 38.7\n",
                    MEASURE_LOCKED},
        // Rounded to 0.0, not -0.0.
        SummaryCase{1, 1, -0.04, 0.0016, 0, 0,
                    "Seconds measured: 1, from the first within 2 ms on, in 90 s\n"
                    "Board against this clock: mean -0.040 ms, spread 0.000 ms (standard deviation)\n"
                    "If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is 0.0 ms: "
                    "RUZivEr2 -load L 120 precise 0.0\n",
                    MEASURE_LOCKED},
        // An hour off is no board's delay.
        SummaryCase{1, 1, -3600000, 3600000.0 * 3600000, 0, 0,
                    "Seconds measured: 1, from the first within 2 ms on, in 90 s\n"
                    "Board against this clock: mean -3600000.000 ms, spread 0.000 ms (standard deviation)\n"
                    "The board is -3600000.0 ms from this clock, more than a board's delay can be (-1000 to 1000 ms): "
                    "look at the board's time code and at this clock's time zone first\n",
                    MEASURE_LOCKED},
        SummaryCase{0, 0, 0, 0, 0, 0,
                    "Seconds measured: 0 in 90 s: the estimate never came within 2 ms, so no delay is proposed\n",
                    MEASURE_NEVER_LOCKED}));

class MeasureRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        EndEverything();
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
        g_fake.timeAdjustment.readable = true;
    }
    // RunProgram starts status reporting itself.
    void TearDown() override { EndEverything(); }
    int Run(std::vector<const char *> args)
    {
        args.insert(args.begin(), "RUZivEr2");
        ::testing::internal::CaptureStdout();
        const int status = RunProgram(static_cast<int>(args.size()), const_cast<char **>(args.data()));
        output = ::testing::internal::GetCapturedStdout();
        return status;
    }
    std::string output;
};

// Nothing that could change the clock, the process or the program's file is called: no
// privilege, no priority, no protection, no settings key opened for writing.
const std::vector<std::string> kChanges = {"SetLocalTime", "SetSystemTime", "SetSystemTimeAdjustment",
                                           "AdjustTokenPrivileges", "OpenProcessToken", "SetPriorityClass",
                                           "SetFileSecurityA", "RegCreateKeyExA", "OpenProcess"};

TEST_F(MeasureRunTest, PrintsTheMachineAndStopsAtCtrlCWithTheTimerGivenBack)
{
    g_fakeKernel.onWait = [](int wait) {
        g_fakeKernel.tickCountMs += 51;
        if (wait == 8)
            g_fakeKernel.consoleHandler(CTRL_C_EVENT);
    };
    EXPECT_EQ(Run({"/MEASURE", "90"}), MEASURE_NEVER_LOCKED);
    EXPECT_EQ(output,
              "Measuring the reader board against this computer's clock for 90 s (Ctrl+C ends it sooner); the clock "
              "is not changed.\n"
              "Windows: 10.0 build 19045, workstation, 64-bit (as RtlGetVersion reports it); this program is 64-bit\n"
              "Performance counter: 10000000 Hz\n"
              "System timer: 1 ms asked for and granted; 5 waits of 51 ms lasted 51.00 ms on average, 51.00 ms at "
              "most\n"
              "Clock adjustment: GetSystemTimeAdjustment adjustment 156250, increment 156250, disabled; "
              "GetSystemTimeAdjustmentPrecise not present\n"
              "Windows Time (W32Time): not installed\n"
              " Found TAV \n"
              "Settings: local time, slop 150 ms, stepped mode\n"
              "Seconds measured: 0 in 0 s: the estimate never came within 2 ms, so no delay is proposed\n");
    EXPECT_THAT(CallsOnly(kChanges), IsEmpty());
    EXPECT_THAT(CallsOnly({"timeBeginPeriod", "timeEndPeriod", "NttcReadTime"}),
                ElementsAre("timeBeginPeriod 1", "NttcReadTime 0x300", "NttcReadTime 0x300", "timeEndPeriod 1"));
    EXPECT_EQ(FakeOpenHandles(), 0);
}

}  // namespace
