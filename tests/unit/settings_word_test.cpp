// The settings word: what `-load` stores and what the worker loads.
#include "engine/settings_word.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "fake_platform.h"
#include "base/console_output.h"
#include "engine/board_delay_rule.h"

using ::testing::ElementsAre;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";

class SettingsWordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeReset();
        g_settings = SettingsState{0, 150, 0};
        g_console = ConsoleState{0};
    }

    // Runs StoreSettingsWord on "RUZivEr2.exe -load <args...>".
    DWORD Store(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"RUZivEr2.exe", "-load"});
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        const char *failedCall = nullptr;
        StoreSettingsWord(static_cast<int>(args.size()), argv.data(), &failedCall);
        const FakeRegistryValue *value = FakeRegistryGet(kKey, "SvcInfo");
        EXPECT_NE(value, nullptr);
        if (!value)
            return 0xDEADBEEF;
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(value->data.size(), 4u);
        DWORD word = 0;
        std::memcpy(&word, value->data.data(), 4);
        return word;
    }

    void PutValue(DWORD type, std::vector<BYTE> data) { FakeRegistryPut(kKey, "SvcInfo", type, data); }

    void PutWord(DWORD word)
    {
        PutValue(REG_DWORD, {static_cast<BYTE>(word), static_cast<BYTE>(word >> 8), static_cast<BYTE>(word >> 16),
                             static_cast<BYTE>(word >> 24)});
    }
};

struct StoreCase {
    const char *name;
    std::vector<std::string> args;
    DWORD word;
};

void PrintTo(const StoreCase &c, std::ostream *os) { *os << c.name; }

class StoreTable : public SettingsWordTest, public ::testing::WithParamInterface<StoreCase> {};

TEST_P(StoreTable, StoresTheWordForTheArguments) { EXPECT_EQ(Store(GetParam().args), GetParam().word); }

INSTANTIATE_TEST_SUITE_P(
    LoadArguments, StoreTable,
    ::testing::Values(StoreCase{"NoArguments", {}, 0x00000096}, StoreCase{"UpperS", {"S"}, 0xFFFF0096},
                      StoreCase{"LowerS", {"s"}, 0x00000096}, StoreCase{"Local100", {"L", "100"}, 0x00000064},
                      StoreCase{"LowerS100", {"s", "100"}, 0x00000064},
                      StoreCase{"Utc300Clamped", {"S", "300"}, 0xFFFF00FA},
                      StoreCase{"Utc10Clamped", {"S", "10"}, 0xFFFF0032},
                      StoreCase{"Local7", {"L", "7"}, 0x00000032}, StoreCase{"Local1000", {"L", "1000"}, 0x000000FA},
                      StoreCase{"NotANumber", {"L", "abc"}, 0x00000032},
                      StoreCase{"Negative", {"L", "-100"}, 0x00000032},
                      StoreCase{"LeadingSpace", {"L", " 75"}, 0x0000004B},
                      StoreCase{"PlusSignAndTail", {"L", "+120ms"}, 0x00000078},
                      StoreCase{"SWordOnlyFirstLetter", {"Sxyz", "200"}, 0xFFFF00C8},
                      StoreCase{"EmptyTimeBase", {"", "60"}, 0x0000003C},
                      StoreCase{"ExactlyLowerBound", {"L", "50"}, 0x00000032},
                      StoreCase{"ExactlyUpperBound", {"L", "250"}, 0x000000FA},
                      // Beyond 32 bits the value saturates and is clamped like any other.
                      StoreCase{"BeyondThirtyTwoBits", {"L", "4294967396"}, 0x000000FA},
                      StoreCase{"BeyondSixtyFourBits", {"L", "99999999999999999999999999"}, 0x000000FA},
                      StoreCase{"HugeNegative", {"L", "-99999999999999999999999999"}, 0x00000032},
                      StoreCase{"LongerThanElevenCharacters", {"L", "000000000000000100"}, 0x00000064},
                      StoreCase{"ExtraArgumentsIgnored", {"S", "80", "x", "y"}, 0xFFFF0050}),
    [](const ::testing::TestParamInfo<StoreCase> &info) { return info.param.name; });

TEST_F(SettingsWordTest, StoreMakesTheRegistryCallsInOrder)
{
    Store({"S", "100"});
    EXPECT_THAT(g_fake.calls,
                ElementsAre("RegCreateKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vantrel 0 (nil) 0 0xf003f (nil)",
                            "RegSetValueExA SvcInfo 0 4 4", "RegDeleteValueA Discipline", "RegDeleteValueA EdgeDelayUs",
                            "RegCloseKey"));
    EXPECT_EQ(g_fake.openKeys, 0);
    EXPECT_EQ(g_settings.settingsWord, 0xFFFF0064u);
}

TEST_F(SettingsWordTest, StoreWithoutKeyAccessStoresNothingAndReportsFailure)
{
    g_fake.createKeyError = ERROR_ACCESS_DENIED;
    char *argv[] = {const_cast<char *>("RUZivEr2.exe"), const_cast<char *>("-load"), nullptr};
    const char *failedCall = nullptr;
    EXPECT_EQ(StoreSettingsWord(2, argv, &failedCall), 0);
    EXPECT_STREQ(failedCall, "RegCreateKeyEx");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FakeRegistryGet(kKey, "SvcInfo"), nullptr);
    EXPECT_THAT(FakeCallsNamed("RegSetValueExA"), ElementsAre());
}

TEST_F(SettingsWordTest, StoreReportsAFailedWriteAndStillClosesTheKey)
{
    g_fake.setValueError = ERROR_ACCESS_DENIED;
    char *argv[] = {const_cast<char *>("RUZivEr2.exe"), const_cast<char *>("-load"), nullptr};
    const char *failedCall = nullptr;
    EXPECT_EQ(StoreSettingsWord(2, argv, &failedCall), 0);
    EXPECT_STREQ(failedCall, "RegSetValueEx");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g_fake.openKeys, 0);
}

struct LoadCase {
    const char *name;
    DWORD word;
    LONG slopMs;
    int useUtc;
};

void PrintTo(const LoadCase &c, std::ostream *os) { *os << c.name; }

class LoadTable : public SettingsWordTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTable, LoadsSlopAndTimeBase)
{
    PutWord(GetParam().word);
    LoadSettingsWord();
    EXPECT_EQ(g_settings.slopMs, GetParam().slopMs);
    EXPECT_EQ(g_settings.useUtc, GetParam().useUtc);
}

INSTANTIATE_TEST_SUITE_P(
    StoredWords, LoadTable,
    ::testing::Values(LoadCase{"Default", 0x00000096, 150, 0}, LoadCase{"Utc150", 0xFFFF0096, 150, 1},
                      LoadCase{"Local100", 0x00000064, 100, 0}, LoadCase{"Utc250", 0xFFFF00FA, 250, 1},
                      LoadCase{"Utc50", 0xFFFF0032, 50, 1}, LoadCase{"Local50", 0x00000032, 50, 0},
                      LoadCase{"HandEdited255", 0x000000FF, 255, 0}, LoadCase{"HandEdited251", 0x000000FB, 251, 0},
                      LoadCase{"Zero", 0x00000000, 50, 0}, LoadCase{"MiddleBitsIgnored", 0x00001234, 52, 0},
                      LoadCase{"MiddleByteFull", 0x0000FF96, 150, 0}, LoadCase{"OneHighBit", 0x00010000, 50, 1},
                      LoadCase{"OneHighBitDefaultSlop", 0x00010096, 150, 1}, LoadCase{"Slop49", 0x00000031, 50, 0}),
    [](const ::testing::TestParamInfo<LoadCase> &info) { return info.param.name; });

TEST_F(SettingsWordTest, LoadMakesTheRegistryCallsInOrder)
{
    PutWord(0x64);
    LoadSettingsWord();
    EXPECT_THAT(g_fake.calls,
                ElementsAre("RegCreateKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vantrel 0 (nil) 0 0xf003f (nil)",
                            "RegQueryValueExA SvcInfo (nil) 4", "RegQueryValueExA Discipline (nil) 4",
                            "RegQueryValueExA EdgeDelayUs (nil) 4", "RegCloseKey"));
    EXPECT_EQ(g_fake.openKeys, 0);
}

// The mode beside the word: -load with "precise" as its fourth argument stores Discipline = 1,
// every other -load deletes it, and only a REG_DWORD of 1 loads as the precise mode.
TEST_F(SettingsWordTest, DisciplineIsStoredDeletedAndLoaded)
{
    struct Case {
        std::vector<std::string> args;  // empty: no -load, the value as put by hand
        std::vector<BYTE> before;       // Discipline before, REG_DWORD unless 1 byte; empty: none
        bool storedAfter;
        int precise;
    };
    const Case cases[] = {{{"S", "100", "precise"}, {}, true, 1},      {{"L", "100", "PreCise"}, {}, true, 1},
                          {{"L", "100"}, {1, 0, 0, 0}, false, 0},       {{"L", "precise"}, {1, 0, 0, 0}, false, 0},
                          {{"L", "100", "precisely"}, {}, false, 0},    {{}, {2, 0, 0, 0}, true, 0},
                          {{}, {1}, true, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.empty() ? "by hand" : c.args.back());
        FakeReset();
        if (!c.before.empty())
            FakeRegistryPut(kKey, "Discipline", c.before.size() == 4 ? REG_DWORD : REG_BINARY, c.before);
        if (!c.args.empty())
            Store(c.args);
        EXPECT_EQ(FakeRegistryGet(kKey, "Discipline") != nullptr, c.storedAfter);
        LoadSettingsWord();
        EXPECT_EQ(g_settings.precise, c.precise);
    }
}

// The board's delay as -load takes it (engine/board_delay_rule); a refused one leaves *delayUs.
TEST(BoardDelayRuleTest, TakesMillisecondsWithUpToThreeDecimalsWithinASecond)
{
    const struct { const char *text; int taken; LONG us; } cases[] = {
        {"40", 1, 40000}, {"41.25", 1, 41250}, {"-3.5", 1, -3500}, {"+2.125", 1, 2125}, {"1000", 1, 1000000},
        {"-1000.000", 1, -1000000}, {"1000.001", 0, 7}, {"99999999999999999999", 0, 7}, {"40.1234", 0, 7},
        {"40.", 0, 7}, {".5", 0, 7}, {"", 0, 7}, {"+-1", 0, 7}, {" 40", 0, 7}, {"40ms", 0, 7}, {"4e1", 0, 7}};
    for (const auto &c : cases) {
        LONG us = 7;
        EXPECT_EQ(ParseBoardDelay(c.text, &us), c.taken) << c.text;
        EXPECT_EQ(us, c.us) << c.text;
    }
}

TEST_F(SettingsWordTest, MissingValueLeavesDefaultsAndCreatesTheKey)
{
    g_settings = SettingsState{0, 77, 1};
    LoadSettingsWord();
    EXPECT_EQ(g_settings.slopMs, 150);
    EXPECT_EQ(g_settings.useUtc, 0);
    EXPECT_EQ(g_fake.registry.count("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vantrel"), 1u);
    EXPECT_EQ(FakeRegistryGet(kKey, "SvcInfo"), nullptr);
}

TEST_F(SettingsWordTest, KeyWithoutAccessLeavesDefaultsWithoutQuerying)
{
    g_settings = SettingsState{0, 77, 1};
    g_fake.createKeyError = ERROR_ACCESS_DENIED;
    LoadSettingsWord();
    EXPECT_EQ(g_settings.slopMs, 150);
    EXPECT_EQ(g_settings.useUtc, 0);
    EXPECT_THAT(FakeCallsNamed("RegQueryValueExA"), ElementsAre());
}

TEST_F(SettingsWordTest, DataLongerThanFourBytesLeavesDefaults)
{
    PutValue(REG_QWORD, {0x64, 0, 0, 0, 0, 0, 0, 0});
    LoadSettingsWord();
    EXPECT_EQ(g_settings.slopMs, 150);
    EXPECT_EQ(g_settings.useUtc, 0);
}

// The stored type is not looked at: up to four bytes are the word, low byte first.
struct ShortDataCase {
    const char *name;
    DWORD type;
    std::vector<BYTE> data;
    LONG slopMs;
    int useUtc;
};

void PrintTo(const ShortDataCase &c, std::ostream *os) { *os << c.name; }

class ShortDataTable : public SettingsWordTest, public ::testing::WithParamInterface<ShortDataCase> {};

TEST_P(ShortDataTable, TakesTheBytesAsTheWord)
{
    PutValue(GetParam().type, GetParam().data);
    LoadSettingsWord();
    EXPECT_EQ(g_settings.slopMs, GetParam().slopMs);
    EXPECT_EQ(g_settings.useUtc, GetParam().useUtc);
}

INSTANTIATE_TEST_SUITE_P(
    HandEditedValues, ShortDataTable,
    ::testing::Values(ShortDataCase{"Empty", REG_BINARY, {}, 50, 0},
                      ShortDataCase{"OneByte", REG_BINARY, {0x64}, 100, 0},
                      ShortDataCase{"TwoBytes", REG_BINARY, {0xC8, 0xFF}, 200, 0},
                      ShortDataCase{"ThreeBytes", REG_BINARY, {0x64, 0x00, 0x01}, 100, 1},
                      ShortDataCase{"StringOneHundred", REG_SZ, {'1', '0', '0', 0}, 50, 1},
                      ShortDataCase{"NoneType", REG_NONE, {0x96, 0, 0, 0}, 150, 0}),
    [](const ::testing::TestParamInfo<ShortDataCase> &info) { return info.param.name; });

TEST_F(SettingsWordTest, ConsoleModeTracesTheWordInHex)
{
    g_console.consoleMode = 1;
    PutWord(0xFFFF00FA);
    ::testing::internal::CaptureStdout();
    LoadSettingsWord();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "FFFF00FAh\n");
}

TEST_F(SettingsWordTest, ConsoleModeTracesZeroWhenTheValueIsMissing)
{
    g_console.consoleMode = 1;
    ::testing::internal::CaptureStdout();
    LoadSettingsWord();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "0h\n");
}

TEST_F(SettingsWordTest, ServiceModePrintsNothing)
{
    PutWord(0x96);
    ::testing::internal::CaptureStdout();
    LoadSettingsWord();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

}  // namespace
