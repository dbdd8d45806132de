// Installing and removing the service, and the error texts of their messages, against the
// fake Service Control Manager.
#include "service/service_install.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_service_manager.h"
#include "service/status_report.h"
#include "test_support.h"

using ::testing::ElementsAreArray;

namespace {

const char kSpacedPath[] = "C:\\Program Files\\Horavex\\RUZivEr2.exe";

const char kModuleCall[] = "GetModuleFileNameA (nil) 512";
const char kOpenManager[] = "OpenSCManagerA (null) (null) 0xf003f";
const char kOpenService[] = "OpenServiceA 0x700 <ZYN_NT_Horavex2> 0xf01ff";
const char kStop[] = "ControlService 0x701 1";
const char kSleep[] = "Sleep 1000";
const char kQuery[] = "QueryServiceStatus 0x701";
const char kDelete[] = "DeleteService 0x701";
const char kCloseManager[] = "CloseServiceHandle 0x700";
const char kCloseService[] = "CloseServiceHandle 0x701";
const char kFreeText[] = "LocalFree message";
const char kDescribe[] =
    "ChangeServiceConfig2A 0x701 description <Keeps this computer's clock in step with the time code of the reader board.>";
// Restart after 60 s, twice, then nothing; the count forgotten after a day.
const char kRecovery[] = "ChangeServiceConfig2A 0x701 failure-actions 86400 (null) (null) 1/60000 1/60000 0/0";
const char kRecoveryOnExitCodes[] = "ChangeServiceConfig2A 0x701 failure-actions-flag 1";
const std::string kDefaultDacl = kFakeServiceDacl;
const std::string kGrantedDacl = kDefaultDacl + "(A;;LCRC;;;AU)";
const char kQueryDacl[] = "QueryServiceObjectSecurity 0x701 0x4 4096";
const char kDaclText[] = "ConvertSecurityDescriptorToStringSecurityDescriptorA 1 0x4 (nil)";
const char kFreeDaclText[] = "LocalFree text";
// The access list read, Authenticated Users' query grant added, set and read back.
const std::vector<std::string> kGrant = {
    kQueryDacl, kDaclText, kFreeDaclText,
    "ConvertStringSecurityDescriptorToSecurityDescriptorA " + kGrantedDacl + " 1 (nil)",
    "SetServiceObjectSecurity 0x701 0x4 " + kGrantedDacl, "LocalFree descriptor", kQueryDacl, kDaclText, kFreeDaclText};

// The calls of a case, from runs of them.
std::vector<std::string> Calls(std::initializer_list<std::vector<std::string>> runs)
{
    std::vector<std::string> all;
    for (const std::vector<std::string> &run : runs)
        all.insert(all.end(), run.begin(), run.end());
    return all;
}
const char kSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZYN_NT_Horavex2";
const std::string kCreateSourceKey = std::string("RegCreateKeyExA HKLM\\") + kSourceKey + " 0 (nil) 0 0xf003f (nil)";
const std::string kDeleteSourceKey = std::string("RegDeleteKeyA HKLM\\") + kSourceKey;

std::string Create(const std::string &imagePath)
{
    return "CreateServiceA 0x700 <ZYN_NT_Horavex2> <ZYN NT Horavex Service2> 0xf01ff 16 2 1 <" + imagePath +
           "> (null) (nil) {} (null) (null)";
}

std::string FormatCall(DWORD code) { return "FormatMessageA 0x3300 (nil) " + std::to_string(code) + " 0 0 (nil)"; }

std::string Repeat(char c, int count) { return std::string(static_cast<size_t>(count), c); }

std::string Repeat3(const std::string &line) { return line + line + line; }

void Installed() { g_fakeServiceManager.installed = true; }

// Installed and running; after the stop control, QueryServiceStatus gives these answers.
void Running(std::vector<FakeQueryAnswer> answers)
{
    g_fakeServiceManager.installed = true;
    g_fakeServiceManager.running = true;
    g_fakeServiceManager.queries.assign(answers.begin(), answers.end());
}

const FakeQueryAnswer kPending{SERVICE_STOP_PENDING, 0};
const FakeQueryAnswer kStopped{SERVICE_STOPPED, 0};
const FakeQueryAnswer kQueryFails{0, ERROR_ACCESS_DENIED};

class ServiceInstallTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEverything(); }

    // Whatever the path taken, every handle opened is closed once and every text freed.
    void TearDown() override
    {
        EXPECT_EQ(FakeOpenServiceHandles(), 0);
        EXPECT_EQ(g_fakeServiceManager.deadHandleUses, 0);
        EXPECT_EQ(FakeLiveMessageTexts(), 0);
        EndEverything();
    }

    std::string Install()
    {
        ::testing::internal::CaptureStdout();
        InstallService();
        return ::testing::internal::GetCapturedStdout();
    }

    std::string Remove()
    {
        ::testing::internal::CaptureStdout();
        RemoveService();
        return ::testing::internal::GetCapturedStdout();
    }
};

// ---- InstallService ----

struct InstallCase {
    const char *name;
    std::function<void()> arrange;
    std::string output;
    std::vector<std::string> calls;
};

void PrintTo(const InstallCase &c, std::ostream *os) { *os << c.name; }

class InstallServiceTable : public ServiceInstallTest, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallServiceTable, PrintsTheOutcomeAndMakesTheCalls)
{
    GetParam().arrange();
    EXPECT_EQ(Install(), GetParam().output);
    EXPECT_THAT(g_fake.calls, ElementsAreArray(GetParam().calls));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InstallServiceTable,
    ::testing::Values(
        InstallCase{"Created", [] {}, "ZYN NT Horavex Service2 loaded.\n",
                    Calls({{kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""), kDescribe,
                     kRecovery, kRecoveryOnExitCodes}, kGrant, {kCloseService, kCreateSourceKey,
                     "RegSetValueExA EventMessageFile 0 2 38", "RegSetValueExA TypesSupported 0 4 4", "RegCloseKey",
                     kCloseManager}})},
        // What follows the creation is printed when it fails, and the rest goes on.
        InstallCase{"ConfigurationRefused", [] { g_fakeServiceManager.changeConfigError = ERROR_ACCESS_DENIED; },
                    "ZYN NT Horavex Service2 loaded.\n" + Repeat3("ChangeServiceConfig2 failed - Access denied. (0x5)\n"),
                    Calls({{kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""), kDescribe,
                     FormatCall(5), kFreeText, kRecovery, FormatCall(5), kFreeText, kRecoveryOnExitCodes, FormatCall(5),
                     kFreeText}, kGrant, {kCloseService, kCreateSourceKey, "RegSetValueExA EventMessageFile 0 2 38",
                     "RegSetValueExA TypesSupported 0 4 4", "RegCloseKey", kCloseManager}})},
        InstallCase{"EventSourceRefused", [] { g_fake.createKeyError = ERROR_ACCESS_DENIED; },
                    "ZYN NT Horavex Service2 loaded.\nRegCreateKeyEx failed - Access denied. (0x5)\n",
                    Calls({{kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""), kDescribe,
                     kRecovery, kRecoveryOnExitCodes}, kGrant, {kCloseService, kCreateSourceKey, FormatCall(5), kFreeText,
                     kCloseManager}})},
        // Over a service that exists, -load completes the installation: it opens it and writes
        // its description, recovery actions and event source, printing only what fails.
        InstallCase{"AlreadyInstalled", [] { g_fakeServiceManager.installed = true; },
                    "CreateService failed - Service exists. (0x431)\n",
                    Calls({{kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""),
                     FormatCall(1073), kFreeText, kOpenService, kDescribe, kRecovery, kRecoveryOnExitCodes}, kGrant, {kCloseService,
                     kCreateSourceKey, "RegSetValueExA EventMessageFile 0 2 38", "RegSetValueExA TypesSupported 0 4 4",
                     "RegCloseKey", kCloseManager}})},
        InstallCase{"AlreadyInstalledNotOpened",
                    [] { g_fakeServiceManager.installed = true, g_fakeServiceManager.openServiceError = 5; },
                    "CreateService failed - Service exists. (0x431)\nOpenService failed - Access denied. (0x5)\n",
                    {kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""),
                     FormatCall(1073), kFreeText, kOpenService, FormatCall(5), kFreeText, kCloseManager}},
        InstallCase{"AlreadyInstalledWithoutEventSource",
                    [] { g_fakeServiceManager.installed = true, g_fake.createKeyError = ERROR_ACCESS_DENIED; },
                    "CreateService failed - Service exists. (0x431)\nRegCreateKeyEx failed - Access denied. (0x5)\n",
                    Calls({{kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""),
                     FormatCall(1073), kFreeText, kOpenService, kDescribe, kRecovery, kRecoveryOnExitCodes}, kGrant, {kCloseService,
                     kCreateSourceKey, FormatCall(5), kFreeText, kCloseManager}})},
        InstallCase{"CreationRefused", [] { g_fakeServiceManager.createServiceError = ERROR_ACCESS_DENIED; },
                    "CreateService failed - Access denied. (0x5)\n",
                    {kModuleCall, kOpenManager, Create("\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""),
                     FormatCall(5), kFreeText, kCloseManager}},
        InstallCase{"ManagerRefused", [] { g_fakeServiceManager.openManagerError = ERROR_ACCESS_DENIED; },
                    "OpenSCManager failed - Access denied. (0x5)\n",
                    {kModuleCall, kOpenManager, FormatCall(5), kFreeText}},
        InstallCase{"ModulePathUnavailable", [] { g_fakeKernel.moduleFileNameError = ERROR_NOT_ENOUGH_MEMORY; },
                    "Unable to load ZYN NT Horavex Service2 - Not enough memory. (0x8)\n",
                    {kModuleCall, FormatCall(8), kFreeText}},
        InstallCase{"ModulePathOf512", [] { g_fakeKernel.modulePath = "C:\\" + Repeat('a', 509); },
                    "Unable to load ZYN NT Horavex Service2 - Insufficient buffer. (0x7a)\n",
                    {kModuleCall, FormatCall(122), kFreeText}},
        InstallCase{"ModulePathOf600", [] { g_fakeKernel.modulePath = "C:\\" + Repeat('a', 597); },
                    "Unable to load ZYN NT Horavex Service2 - Insufficient buffer. (0x7a)\n",
                    {kModuleCall, FormatCall(122), kFreeText}},
        // A code the system has no text for prints the message with nothing after the dash.
        InstallCase{"ManagerErrorWithoutText", [] { g_fakeServiceManager.openManagerError = 12345; },
                    "OpenSCManager failed - \n", {kModuleCall, kOpenManager, FormatCall(12345)}}),
    [](const ::testing::TestParamInfo<InstallCase> &info) { return info.param.name; });

// Authenticated Users' query grant: added to the list as it is, once; never to a list that
// reads back empty (Wine's), which would shut out everyone else; said when it does not hold.
struct GrantCase {
    const char *name;
    std::function<void()> arrange;
    std::string printed;  // after "... loaded.\n"
    std::string dacl;     // the list afterwards
    int sets;             // SetServiceObjectSecurity calls
};

void PrintTo(const GrantCase &c, std::ostream *os) { *os << c.name; }

class GrantTable : public ServiceInstallTest, public ::testing::WithParamInterface<GrantCase> {};

TEST_P(GrantTable, GrantsQueriesToAuthenticatedUsersOnceAndOnlyToARealList)
{
    GetParam().arrange();
    EXPECT_EQ(Install(), "ZYN NT Horavex Service2 loaded.\n" + GetParam().printed);
    EXPECT_EQ(g_fakeServiceManager.dacl, GetParam().dacl);
    EXPECT_EQ(FakeCallsNamed("SetServiceObjectSecurity").size(), static_cast<size_t>(GetParam().sets));
}

INSTANTIATE_TEST_SUITE_P(
    Lists, GrantTable,
    ::testing::Values(
        GrantCase{"Added", [] {}, "", kGrantedDacl, 1},
        GrantCase{"AlreadyHeld", [] { g_fakeServiceManager.dacl = kGrantedDacl; }, "", kGrantedDacl, 0},
        GrantCase{"EmptyList", [] { g_fakeServiceManager.dacl = "D:"; },
                  "The service's access list reads back empty: Authenticated Users may not query it.\n", "D:", 0},
        GrantCase{"NotKept", [] { g_fakeServiceManager.securityKept = false; },
                  "The service's access list does not keep the grant: Authenticated Users may not query it.\n",
                  kDefaultDacl, 1},
        GrantCase{"TooLongToAddTo", [] { g_fakeServiceManager.dacl = "D:(A;;CC;;;SY)" + Repeat('x', 2030); },
                  "The service's access list is too long to add to: Authenticated Users may not query it.\n",
                  "D:(A;;CC;;;SY)" + Repeat('x', 2030), 0},
        GrantCase{"TooLongToRead", [] { g_fakeServiceManager.dacl = "D:(A;;CC;;;SY)" + Repeat('x', 2040); },
                  "The service's access list is too long to add to: Authenticated Users may not query it.\n",
                  "D:(A;;CC;;;SY)" + Repeat('x', 2040), 0}),
    [](const ::testing::TestParamInfo<GrantCase> &info) { return info.param.name; });

// The manager runs the image path as a command line: a path with a space goes in quotes,
// any other exactly as the module's path.
struct ImagePathCase {
    const char *name;
    std::string modulePath;
    std::string imagePath;
};

void PrintTo(const ImagePathCase &c, std::ostream *os) { *os << c.name; }

class InstallImagePathTable : public ServiceInstallTest, public ::testing::WithParamInterface<ImagePathCase> {};

TEST_P(InstallImagePathTable, RegistersThePathQuotedOnlyWhenItHasASpace)
{
    g_fakeKernel.modulePath = GetParam().modulePath;
    EXPECT_EQ(Install(), "ZYN NT Horavex Service2 loaded.\n");
    ASSERT_EQ(g_fakeServiceManager.created.size(), 1u);
    EXPECT_EQ(g_fakeServiceManager.created[0].binaryPath, GetParam().imagePath);
}

const std::string kLongNoSpace = "C:\\" + Repeat('b', 508);         // 511 characters, the longest
const std::string kLongSpaced = "C:\\" + Repeat('b', 250) + " " + Repeat('c', 257);  // 511 as well

INSTANTIATE_TEST_SUITE_P(
    Paths, InstallImagePathTable,
    ::testing::Values(ImagePathCase{"ProgramFiles", kSpacedPath, "\"C:\\Program Files\\Horavex\\RUZivEr2.exe\""},
                      ImagePathCase{"NoSpace", "C:\\Horavex\\RUZivEr2.exe", "C:\\Horavex\\RUZivEr2.exe"},
                      ImagePathCase{"SpaceInTheFileName", "C:\\Horavex\\RUZivEr2 copy.exe",
                                    "\"C:\\Horavex\\RUZivEr2 copy.exe\""},
                      ImagePathCase{"Longest511WithoutSpace", kLongNoSpace, kLongNoSpace},
                      ImagePathCase{"Longest511WithSpace", kLongSpaced, "\"" + kLongSpaced + "\""}),
    [](const ::testing::TestParamInfo<ImagePathCase> &info) { return info.param.name; });

// The messages share one 256-byte error text: a system text of 242 characters, line end
// included, is printed whole, one of 243 not at all.
struct LongTextCase {
    const char *name;
    int textLength;  // line end included
    std::string printedText;
};

void PrintTo(const LongTextCase &c, std::ostream *os) { *os << c.name; }

class InstallLongTextTable : public ServiceInstallTest, public ::testing::WithParamInterface<LongTextCase> {};

TEST_P(InstallLongTextTable, CreationFailurePrintsTheTextOnlyWhenItFits)
{
    g_fakeServiceManager.installed = true;
    g_fakeServiceManager.anyCodeText = Repeat('t', GetParam().textLength - 2) + "\r\n";
    EXPECT_EQ(Install(), "CreateService failed - " + GetParam().printedText + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    TextLengths, InstallLongTextTable,
    ::testing::Values(LongTextCase{"Fits242", 242, Repeat('t', 240) + " (0x431)"},
                      LongTextCase{"TooLong243", 243, ""}),
    [](const ::testing::TestParamInfo<LongTextCase> &info) { return info.param.name; });

// ---- RemoveService ----

struct RemoveCase {
    const char *name;
    std::function<void()> arrange;
    std::string output;
    std::vector<std::string> calls;
};

void PrintTo(const RemoveCase &c, std::ostream *os) { *os << c.name; }

class RemoveServiceTable : public ServiceInstallTest, public ::testing::WithParamInterface<RemoveCase> {};

TEST_P(RemoveServiceTable, PrintsTheOutcomeAndMakesTheCalls)
{
    GetParam().arrange();
    EXPECT_EQ(Remove(), GetParam().output);
    EXPECT_THAT(g_fake.calls, ElementsAreArray(GetParam().calls));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, RemoveServiceTable,
    ::testing::Values(
        RemoveCase{"InstalledNotRunning", Installed, "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kDelete, kDeleteSourceKey, kCloseService, kCloseManager}},
        RemoveCase{"RunningStopsAtTheFirstLook", [] { Running({kStopped}); },
                   "Stopping ZYN NT Horavex Service2.\nZYN NT Horavex Service2 stopped.\n"
                   "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kDelete, kDeleteSourceKey, kCloseService, kCloseManager}},
        RemoveCase{"RunningStopsAfterThreeSeconds", [] { Running({kPending, kPending, kPending, kStopped}); },
                   "Stopping ZYN NT Horavex Service2....\nZYN NT Horavex Service2 stopped.\n"
                   "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kSleep, kQuery, kSleep, kQuery, kSleep, kQuery,
                    kDelete, kDeleteSourceKey, kCloseService, kCloseManager}},
        RemoveCase{"QueryFailsWhileStopPending", [] { Running({kPending, kQueryFails}); },
                   "Stopping ZYN NT Horavex Service2..\nZYN NT Horavex Service2 failed to stop.\n"
                   "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kSleep, kQuery, kDelete, kDeleteSourceKey,
                    kCloseService, kCloseManager}},
        RemoveCase{"FirstQueryFails", [] { Running({kQueryFails}); },
                   "Stopping ZYN NT Horavex Service2.\nZYN NT Horavex Service2 failed to stop.\n"
                   "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kDelete, kDeleteSourceKey, kCloseService, kCloseManager}},
        RemoveCase{"RunsAgainInsteadOfStopping", [] { Running({kPending, {SERVICE_RUNNING, 0}}); },
                   "Stopping ZYN NT Horavex Service2..\nZYN NT Horavex Service2 failed to stop.\n"
                   "ZYN NT Horavex Service2 removed.\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kSleep, kQuery, kDelete, kDeleteSourceKey,
                    kCloseService, kCloseManager}},
        // The event source goes whatever became of the service.
        RemoveCase{"NotInstalled", [] {}, "OpenService failed - Service does not exist. (0x424)\n",
                   {kOpenManager, kOpenService, FormatCall(1060), kFreeText, kDeleteSourceKey, kCloseManager}},
        RemoveCase{"ServiceRefused",
                   [] {
                       Installed();
                       g_fakeServiceManager.openServiceError = ERROR_ACCESS_DENIED;
                   },
                   "OpenService failed - Access denied. (0x5)\n",
                   {kOpenManager, kOpenService, FormatCall(5), kFreeText, kDeleteSourceKey, kCloseManager}},
        RemoveCase{"ManagerRefused", [] { g_fakeServiceManager.openManagerError = ERROR_ACCESS_DENIED; },
                   "OpenSCManager failed - Access denied. (0x5)\n", {kOpenManager, FormatCall(5), kFreeText}},
        RemoveCase{"AlreadyMarkedForDelete",
                   [] {
                       Installed();
                       g_fakeServiceManager.deleteServiceError = ERROR_SERVICE_MARKED_FOR_DELETE;
                   },
                   "DeleteService failed - Service marked for delete. (0x430)\n",
                   {kOpenManager, kOpenService, kStop, kDelete, FormatCall(1072), kFreeText, kDeleteSourceKey,
                    kCloseService, kCloseManager}},
        RemoveCase{"StoppedButNotDeleted",
                   [] {
                       Running({kPending, kStopped});
                       g_fakeServiceManager.deleteServiceError = ERROR_ACCESS_DENIED;
                   },
                   "Stopping ZYN NT Horavex Service2..\nZYN NT Horavex Service2 stopped.\n"
                   "DeleteService failed - Access denied. (0x5)\n",
                   {kOpenManager, kOpenService, kStop, kSleep, kQuery, kSleep, kQuery, kDelete, FormatCall(5),
                    kFreeText, kDeleteSourceKey, kCloseService, kCloseManager}}),
    [](const ::testing::TestParamInfo<RemoveCase> &info) { return info.param.name; });

TEST_F(ServiceInstallTest, RemovalWaitsWithoutLimitWhileTheServiceStaysStopPending)
{
    Running(std::vector<FakeQueryAnswer>(300, kPending));
    const std::string output = Remove();
    EXPECT_EQ(output, "Stopping ZYN NT Horavex Service2." + Repeat('.', 300) +
                          "\nZYN NT Horavex Service2 stopped.\nZYN NT Horavex Service2 removed.\n");
    EXPECT_EQ(FakeCallsNamed("Sleep"), std::vector<std::string>(301, kSleep));
}

TEST_F(ServiceInstallTest, RemovalTakesTheServiceStatusInTheProcessRecord)
{
    Running({kPending, kStopped});
    Remove();
    EXPECT_EQ(g_fakeServiceManager.controlRecord, &g_status.status);
    EXPECT_EQ(g_fakeServiceManager.queryRecord, &g_status.status);
    EXPECT_EQ(g_status.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(FakeCallsNamed("SetServiceStatus").empty());
}

TEST_F(ServiceInstallTest, InstallThenRemoveLeavesNoServiceBehind)
{
    Install();
    EXPECT_EQ(Remove(), "ZYN NT Horavex Service2 removed.\n");
    EXPECT_EQ(Remove(), "OpenService failed - Service does not exist. (0x424)\n");
}

// ---- FormatLastError ----

struct TextCase {
    const char *name;
    DWORD error;
    std::function<void()> arrange;
    DWORD size;
    std::string text;
    bool systemTextFreed;  // whether the system handed out a text to free
};

void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class FormatLastErrorTable : public ServiceInstallTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(FormatLastErrorTable, GivesTheSystemTextAndCodeOrNothing)
{
    const TextCase &c = GetParam();
    c.arrange();
    char buffer[300];
    std::memset(buffer, 'z', sizeof buffer);
    SetLastError(c.error);
    EXPECT_EQ(FormatLastError(buffer, c.size), buffer);
    EXPECT_EQ(std::string(buffer), c.text);
    std::vector<std::string> calls = {FormatCall(c.error)};
    if (c.systemTextFreed)
        calls.push_back(kFreeText);
    EXPECT_THAT(g_fake.calls, ElementsAreArray(calls));
}

void NoArrangement() {}

void SystemText(std::string text) { g_fakeServiceManager.anyCodeText = text; }

INSTANTIATE_TEST_SUITE_P(
    Texts, FormatLastErrorTable,
    ::testing::Values(
        TextCase{"ServiceDoesNotExist", 1060, NoArrangement, 256, "Service does not exist. (0x424)", true},
        TextCase{"ServiceExists", 1073, NoArrangement, 256, "Service exists. (0x431)", true},
        TextCase{"ServiceNotActive", 1062, NoArrangement, 256, "Service not active. (0x426)", true},
        TextCase{"InsufficientBuffer", 122, NoArrangement, 256, "Insufficient buffer. (0x7a)", true},
        // The longest text that fits leaves room for the longest code.
        TextCase{"Text242WithTheLongestCode", 0xFFFFFFFF, [] { SystemText(Repeat('x', 240) + "\r\n"); }, 256,
                 Repeat('x', 240) + " (0xffffffff)", true},
        TextCase{"Text243", 1060, [] { SystemText(Repeat('x', 241) + "\r\n"); }, 256, "", true},
        TextCase{"NoCharacters", 1060, [] { SystemText(""); }, 256, "", false},
        TextCase{"CodeWithoutText", 12345, NoArrangement, 256, "", false},
        // An insert stays as written: there are no arguments to fill it from.
        TextCase{"TextWithAnInsert", 193, NoArrangement, 256, "%1 is not a valid Win32 application. (0xc1)", true},
        TextCase{"OnlyTheLineEnd", 1060, [] { SystemText("\r\n"); }, 256, " (0x424)", true},
        TextCase{"OneCharacter", 1060, [] { SystemText("x"); }, 256, " (0x424)", true},
        // "Service exists.\r\n" is 17 characters: it needs 31 bytes.
        TextCase{"SizeJustEnough", 1073, NoArrangement, 31, "Service exists. (0x431)", true},
        TextCase{"SizeOneShort", 1073, NoArrangement, 30, "", true}),
    [](const ::testing::TestParamInfo<TextCase> &info) { return info.param.name; });

TEST_F(ServiceInstallTest, FormatLastErrorWritesNothingIntoABufferOfNoBytes)
{
    char buffer[4] = {'a', 'b', 'c', '\0'};
    SetLastError(1060);
    EXPECT_EQ(FormatLastError(buffer, 0), buffer);
    EXPECT_EQ(std::string(buffer), "abc");
}

}  // namespace
