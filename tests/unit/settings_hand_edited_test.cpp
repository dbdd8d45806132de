// The settings value as an administrator may leave it after editing it by hand: of another
// type than REG_DWORD, shorter or longer than 4 bytes, or under a key the service may not
// open. Whatever it holds, the worker starts with what the loading rule gives (4 bytes or
// fewer: the word, least significant byte first, missing bytes 0; more: 150 ms and local
// time; no access: the same) and goes on to poll the board with those settings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/clock_worker.h"
#include "engine/settings_word.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "base/console_output.h"
#include "service/status_report.h"
#include "engine/stop_request.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kRunning[] = "SetServiceStatus 0x5e 16 4 1 0 0 0 0";

class HandEditedSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        SetStatusHandle(reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5e));
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
        // Tick 1 arms, tick 2 compares the board's 12:00:10 with the clock; a stop comes
        // just before the third wait looks at the event.
        FakeQueueWord(0x12001010);
        FakeQueueWord(0x12001010);
        FakeQueueWord(0x12001000);
        FakeQueueWord(0x12001000);
        g_fakeKernel.onWait = [](int wait) {
            if (wait == 3)
                RequestStop();
        };
    }

    void TearDown() override { EndEverything(); }

    void PutValue(DWORD type, const std::vector<BYTE> &data)
    {
        FakeRegistryPut(kKey, "SvcInfo", type, data);
        g_fake.calls.clear();
    }

    // Both clocks exactly `slopMs` past the board's time as compared (12:00:10.050): in step
    // with that slop, and out of step, so set at once, with any smaller one.
    void PutClocksAtTheSlop(LONG slopMs)
    {
        g_fake.localTime = FakeTime(2026, 3, 1, 12, 0, 10, 50 + static_cast<int>(slopMs));
        g_fake.systemTime = g_fake.localTime;
    }

    // The worker got through its start-up, polled twice, compared once on the clock of the
    // time base, and ended through its closing sequence.
    void ExpectPollingWith(int useUtc)
    {
        EXPECT_EQ(FakeCallsNamed("SetServiceStatus").back(), kRunning);
        EXPECT_EQ(FakeCallsNamed("WaitForSingleObject").size(), 3u);
        EXPECT_EQ(g_worker.tickCount, 2u);
        EXPECT_EQ(FakeCallsNamed("NttcReadTime").size(), 4u);
        const char *clockRead = useUtc ? "GetSystemTime" : "GetLocalTime";
        EXPECT_THAT(FakeCallsNamed(clockRead), ElementsAre(clockRead));
        EXPECT_THAT(FakeCallsNamed(useUtc ? "GetLocalTime" : "GetSystemTime"), IsEmpty());
        EXPECT_THAT(FakeCallsNamed("SetLocalTime"), IsEmpty());
        EXPECT_THAT(FakeCallsNamed("SetSystemTime"), IsEmpty());
        const std::vector<std::string> calls = CallsWithoutLocks();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "Sleep 5000");
        EXPECT_EQ(g_fake.openKeys, 0);
    }
};

struct HandEditedCase {
    const char *name;
    DWORD type;
    std::vector<BYTE> data;
    LONG slopMs;
    int useUtc;
    const char *traceLine;  // the word's trace line in console mode
};

void PrintTo(const HandEditedCase &c, std::ostream *os) { *os << c.name; }

std::string CaseName(const ::testing::TestParamInfo<HandEditedCase> &info) { return info.param.name; }

// Of 4 bytes or fewer: the word, least significant byte first.
const HandEditedCase kShortValues[] = {
    {"EmptyBinary", REG_BINARY, {}, 50, 0, "0h\n"},
    {"BinaryOfOneByte", REG_BINARY, {0xC8}, 200, 0, "C8h\n"},
    {"BinaryOfThreeBytes", REG_BINARY, {0x64, 0x00, 0x01}, 100, 1, "10064h\n"},
    {"BinaryOfFourBytes", REG_BINARY, {0xFF, 0x12, 0x00, 0x00}, 255, 0, "12FFh\n"},
    {"StringOfTwoBytes", REG_SZ, {'9', 0}, 57, 0, "39h\n"},
    // "150" is the bytes 31 35 30 00: slop 0x31 (49, so 50), and bits 16-31 are set.
    {"StringOfFourBytes", REG_SZ, {'1', '5', '0', 0}, 50, 1, "303531h\n"},
    {"EmptyMultiString", REG_MULTI_SZ, {0, 0}, 50, 0, "0h\n"},
    {"QwordCutToFourBytes", REG_QWORD, {0x64, 0x00, 0xFF, 0xFF}, 100, 1, "FFFF0064h\n"},
    {"NoneWithoutData", REG_NONE, {}, 50, 0, "0h\n"},
    {"NoneOfTwoBytes", REG_NONE, {0x5A, 0x01}, 90, 0, "15Ah\n"},
    {"DwordOfTwoBytes", REG_DWORD, {0x10, 0x00}, 50, 0, "10h\n"},
};

// Longer than the word: 150 ms and local time, whatever the first 4 bytes say. What the
// query leaves in the word, and so the trace line, is not defined.
const HandEditedCase kLongValues[] = {
    {"BinaryOfFiveBytes", REG_BINARY, {0x64, 0x00, 0x00, 0x00, 0x00}, 150, 0, nullptr},
    {"BinaryOfSixBytes", REG_BINARY, {0x64, 0x00, 0xFF, 0xFF, 0x00, 0x00}, 150, 0, nullptr},
    {"StringOfSevenBytes", REG_SZ, {'1', '5', '0', ' ', 'm', 's', 0}, 150, 0, nullptr},
    {"MultiStringOfSevenBytes", REG_MULTI_SZ, {'S', 0, '1', '0', '0', 0, 0}, 150, 0, nullptr},
    {"QwordOfEightBytes", REG_QWORD, {0x64, 0, 0xFF, 0xFF, 0, 0, 0, 0}, 150, 0, nullptr},
    {"DwordOfEightBytes", REG_DWORD, {0xC8, 0, 0, 0, 0, 0, 0, 0}, 150, 0, nullptr},
};

class HandEditedTable : public HandEditedSettingsTest, public ::testing::WithParamInterface<HandEditedCase> {};

TEST_P(HandEditedTable, LoadsAsTheRuleSaysAndPollsWithIt)
{
    const HandEditedCase &c = GetParam();
    PutValue(c.type, c.data);
    PutClocksAtTheSlop(c.slopMs);
    RunWorker();
    EXPECT_EQ(g_settings.slopMs, c.slopMs);
    EXPECT_EQ(g_settings.useUtc, c.useUtc);
    ExpectPollingWith(c.useUtc);
}

TEST_P(HandEditedTable, LeavesTheValueAsItWas)
{
    const HandEditedCase &c = GetParam();
    PutValue(c.type, c.data);
    RunWorker();
    const FakeRegistryValue *value = FakeRegistryGet(kKey, "SvcInfo");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(value->data, c.data);
    EXPECT_THAT(FakeCallsNamed("RegSetValueExA SvcInfo"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(ShortValues, HandEditedTable, ::testing::ValuesIn(kShortValues), CaseName);
INSTANTIATE_TEST_SUITE_P(LongValues, HandEditedTable, ::testing::ValuesIn(kLongValues), CaseName);

class ShortValueTraceTable : public HandEditedTable {};

TEST_P(ShortValueTraceTable, TracesTheWordInConsoleMode)
{
    const HandEditedCase &c = GetParam();
    g_console.consoleMode = 1;
    PutValue(c.type, c.data);
    PutClocksAtTheSlop(c.slopMs);
    ::testing::internal::CaptureStdout();
    RunWorker();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(output, StartsWith(std::string(c.traceLine) + " Found TAV \n"));
    EXPECT_THAT(output, HasSubstr(" CheckTime TRUE. \n"));
}

INSTANTIATE_TEST_SUITE_P(ShortValues, ShortValueTraceTable, ::testing::ValuesIn(kShortValues), CaseName);

// A key the service may not open with full access: the defaults, and the worker polls.
TEST_F(HandEditedSettingsTest, AKeyWithoutAccessGivesTheDefaultsAndTheWorkerPolls)
{
    PutValue(REG_DWORD, {0x64, 0x00, 0xFF, 0xFF});
    g_fake.createKeyError = ERROR_ACCESS_DENIED;
    PutClocksAtTheSlop(150);
    RunWorker();
    EXPECT_EQ(g_settings.slopMs, 150);
    EXPECT_EQ(g_settings.useUtc, 0);
    EXPECT_THAT(FakeCallsNamed("RegQueryValueExA"), IsEmpty());
    ExpectPollingWith(0);
}

TEST_F(HandEditedSettingsTest, AKeyWithoutAccessTracesNoWordInConsoleMode)
{
    g_console.consoleMode = 1;
    PutValue(REG_DWORD, {0x64, 0x00, 0xFF, 0xFF});
    g_fake.createKeyError = ERROR_ACCESS_DENIED;
    PutClocksAtTheSlop(150);
    ::testing::internal::CaptureStdout();
    RunWorker();
    const std::string output = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(output, StartsWith(" Found TAV \n"));
    EXPECT_THAT(output, HasSubstr(" CheckTime TRUE. \n"));
}

// The slop a hand-edited value gives governs the comparison: 1 ms more than it is out of
// step, and the first comparison after start sets the clock.
TEST_F(HandEditedSettingsTest, TheLoadedSlopIsTheOneCompared)
{
    PutValue(REG_BINARY, {0xFF});
    g_fake.localTime = FakeTime(2026, 3, 1, 12, 0, 10, 50 + 256);
    RunWorker();
    EXPECT_EQ(g_settings.slopMs, 255);
    EXPECT_THAT(FakeCallsNamed("SetLocalTime"),
                ElementsAre("SetLocalTime 2026-03-01 12:00:10.080", "SetLocalTime 2026-03-01 12:00:10.080"));
}

}  // namespace
