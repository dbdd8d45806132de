// The package's custom actions: the properties as `-load`'s arguments, the settings kept when
// none is given, the service completed and removed as `-load` and `-unload` do.
#include "service/package_action.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_platform.h"
#include "fake_service_manager.h"
#include "test_support.h"

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZYN_NT_Horavex2";
const std::string kPath = "C:\\Program Files\\RUZivEr2\\RUZivEr2.exe";
const DWORD kNone = 0xDEADBEEF;

DWORD Stored(const char *name)
{
    const FakeRegistryValue *value = FakeRegistryGet(kKey, name);
    DWORD word = kNone;
    if (value != nullptr && value->data.size() == 4)
        std::memcpy(&word, value->data.data(), 4);
    return word;
}

void PutWord(DWORD word)
{
    FakeRegistryPut(kKey, "SvcInfo", REG_DWORD,
                    {static_cast<BYTE>(word), static_cast<BYTE>(word >> 8), static_cast<BYTE>(word >> 16),
                     static_cast<BYTE>(word >> 24)});
}

struct PropertiesCase {
    const char *name;
    const char *properties;  // TIMEBASE;SLOP;PRECISE;EDGEDELAY
    DWORD storedBefore;      // kNone: no settings word yet
    int result;
    DWORD word, discipline, edgeDelayUs;
    std::string output;
};

void PrintTo(const PropertiesCase &c, std::ostream *os) { *os << c.name; }

class PackagePropertiesTable : public ::testing::TestWithParam<PropertiesCase> {
protected:
    void SetUp() override
    {
        ResetEverything();
        g_fakeServiceManager.installed = true;
    }
    void TearDown() override { EndEverything(); }
};

const char kKept[] = "No TIMEBASE, SLOP, PRECISE or EDGEDELAY given: the settings stored stay in force.\n";
// Wine's text, as the fake answers.
const char kRefused[] = "The board's delay must be a number of ms from -1000 to 1000 with at most three decimals: 1000.5\n";

TEST_P(PackagePropertiesTable, StoresWhatLoadWouldOrKeepsTheSettings)
{
    const PropertiesCase &c = GetParam();
    if (c.storedBefore != kNone)
        PutWord(c.storedBefore);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(CompletePackageInstall((std::string(c.properties) + ";" + kPath).c_str()), c.result);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.output);
    EXPECT_EQ(Stored("SvcInfo"), c.word);
    EXPECT_EQ(Stored("Discipline"), c.discipline);
    EXPECT_EQ(Stored("EdgeDelayUs"), c.edgeDelayUs);
}

INSTANTIATE_TEST_SUITE_P(
    Properties, PackagePropertiesTable,
    ::testing::Values(PropertiesCase{"UtcSlop100", "S;100;;", kNone, 1, 0xFFFF0064, kNone, kNone, ""},
                      PropertiesCase{"SlopNotANumberIs50", "L;abc;;", kNone, 1, 0x32, kNone, kNone, ""},
                      PropertiesCase{"NoneGivenKeepsTheWord", ";;;", 0xFFFF0064, 1, 0xFFFF0064, kNone, kNone, kKept},
                      PropertiesCase{"NoneGivenNoneStoredIsLoadAlone", ";;;", kNone, 1, 0x96, kNone, kNone, ""},
                      // A property left out while another is given is -load's default.
                      PropertiesCase{"PreciseWithDelay", ";;1;41.25", 0xFFFF0064, 1, 0x96, 1, 41250, ""},
                      PropertiesCase{"DelayWithoutPreciseIgnored", "S;;0;41.25", kNone, 1, 0xFFFF0096, kNone, kNone, ""},
                      PropertiesCase{"RefusedDelayStoresNothing", ";;1;1000.5", 0xFFFF0064, 0, 0xFFFF0064, kNone,
                                     kNone, kRefused}),
    [](const ::testing::TestParamInfo<PropertiesCase> &info) { return info.param.name; });

class PackageActionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        g_fakeServiceManager.installed = true;
    }
    void TearDown() override { EndEverything(); }
};

TEST_F(PackageActionTest, ChecksWithoutStoring)
{
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(CheckPackageSettings(";;1;1000.5;"), 0);
    EXPECT_EQ(CheckPackageSettings("S;100;1;40;"), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kRefused);
    EXPECT_EQ(Stored("SvcInfo"), kNone);
}

// The installed program, not the action's own library, is the event source's message file.
TEST_F(PackageActionTest, CompletesTheServiceForTheInstalledProgram)
{
    EXPECT_EQ(CompletePackageInstall(("S;100;;;" + kPath).c_str()), 1);
    const FakeRegistryValue *source = FakeRegistryGet(kSourceKey, "EventMessageFile");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(source->data.data())), kPath);
    EXPECT_EQ(CallsOnly({"ChangeServiceConfig2A"}).size(), 3u);
}

// A removal stops the service and takes its event source; the tables delete it.
TEST_F(PackageActionTest, RemovalStopsAndTakesTheSourceNotTheService)
{
    FakeRegistryPut(kSourceKey, "TypesSupported", REG_DWORD, {7, 0, 0, 0});
    RemovePackageService();
    EXPECT_EQ(CallsOnly({"ControlService", "DeleteService", "RegDeleteKeyA"}),
              (std::vector<std::string>{"ControlService 0x701 1", std::string("RegDeleteKeyA HKLM\\") + kSourceKey}));
    EXPECT_EQ(FakeRegistryGet(kSourceKey, "TypesSupported"), nullptr);
}

}  // namespace
