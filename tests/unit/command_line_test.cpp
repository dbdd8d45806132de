// The program's entry: path choice, the usage path and dispatcher, the command runs,
// and the console's debug run with its control handler.
#include "service/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "fake_service_control.h"
#include "base/console_output.h"
#include "service/console_run.h"
#include "engine/stop_request.h"
#include "engine/clock_rate.h"
#include "engine/clock_worker.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::IsEmpty;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";

const char kUsage[] =
    " Command Line Options: \n\n"
    "RUZivEr2 -load X nnn <enter>\n "
    "            to load the ZYNntHoravex service\n"
    "             where X = S or L, and nnn = 50 to 250 (user Selectable Delay \n"
    "             with 150ms default slop.\n"
    "RUZivEr2 -unload <enter>\n"
    "\nStartServiceCtrlDispatcher being called.\n"
    "This may take several seconds.  Please wait.\n";

// An argument vector that owns its strings.
struct Arguments {
    std::vector<std::string> texts;
    std::vector<char *> pointers;

    explicit Arguments(std::vector<std::string> args) : texts(std::move(args))
    {
        texts.insert(texts.begin(), "RUZivEr2.exe");
        for (std::string &text : texts)
            pointers.push_back(&text[0]);
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(texts.size()); }
    char **argv() { return pointers.data(); }
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
    }
    void TearDown() override { EndEverything(); }

    // RunProgram starts status reporting itself, as the process's first step: the reporting
    // that ResetEverything started is ended first, so that its lock is not lost.
    int Run(std::vector<std::string> args)
    {
        Arguments arguments(std::move(args));
        EndEverything();
        return RunProgram(arguments.argc(), arguments.argv());
    }

    DWORD StoredWord()
    {
        const FakeRegistryValue *value = FakeRegistryGet(kKey, "SvcInfo");
        if (!value || value->data.size() != 4)
            return 0xDEADBEEF;
        DWORD word;
        std::memcpy(&word, value->data.data(), 4);
        return word;
    }
};

// ---- choosing the path ----

struct PathCase {
    const char *name;
    std::vector<std::string> args;
    ProgramPath path;
};

void PrintTo(const PathCase &c, std::ostream *os) { *os << c.name; }

class PathTable : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathTable, ChoosesThePathFromTheFirstArgument)
{
    Arguments arguments(GetParam().args);
    EXPECT_EQ(ChooseProgramPath(arguments.argc(), arguments.argv()), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Options, PathTable,
    ::testing::Values(PathCase{"DashLoad", {"-load"}, PROGRAM_PATH_LOAD},
                      PathCase{"SlashUpperLoad", {"/LOAD"}, PROGRAM_PATH_LOAD},
                      PathCase{"MixedCaseLoad", {"-Load"}, PROGRAM_PATH_LOAD},
                      PathCase{"LoadWithArguments", {"-load", "S", "100"}, PROGRAM_PATH_LOAD},
                      PathCase{"LoadWithTrailingLetter", {"-loadx"}, PROGRAM_PATH_USAGE},
                      PathCase{"DoubleDashLoad", {"--load"}, PROGRAM_PATH_USAGE},
                      PathCase{"BareLoad", {"load"}, PROGRAM_PATH_USAGE},
                      PathCase{"NoArgument", {}, PROGRAM_PATH_USAGE},
                      PathCase{"UnloadWithExtra", {"-unload", "x"}, PROGRAM_PATH_UNLOAD},
                      PathCase{"SlashUnload", {"/UnLoad"}, PROGRAM_PATH_UNLOAD},
                      PathCase{"ShortUnload", {"-unloa"}, PROGRAM_PATH_USAGE},
                      PathCase{"DashDebug", {"-debug"}, PROGRAM_PATH_DEBUG},
                      PathCase{"SlashUpperDebug", {"/DEBUG", "ignored"}, PROGRAM_PATH_DEBUG},
                      PathCase{"DashAlone", {"-"}, PROGRAM_PATH_USAGE},
                      PathCase{"EmptyArgument", {""}, PROGRAM_PATH_USAGE},
                      PathCase{"NonAsciiLetter", {"-l\xc3\xb6" "ad"}, PROGRAM_PATH_USAGE},
                      PathCase{"LatinCapitalNotFolded", {"-LOAD\xc3\x89"}, PROGRAM_PATH_USAGE},
                      PathCase{"Help", {"-help"}, PROGRAM_PATH_USAGE}),
    [](const ::testing::TestParamInfo<PathCase> &info) { return info.param.name; });

// ---- the usage path ----

TEST_F(CommandLineTest, NoArgumentPrintsTheUsageAndLogsTheDispatcherFailure)
{
    ::testing::internal::CaptureStdout();
    const int status = Run({});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
    EXPECT_EQ(status, 1);
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 10000"));
    EXPECT_THAT(FakeCallsNamed("StartServiceCtrlDispatcherA"),
                ElementsAre("StartServiceCtrlDispatcherA ZYN_NT_Horavex2"));
    ASSERT_EQ(FakeEvents().size(), 1u);
    EXPECT_EQ(FakeEvents()[0].type, EVENTLOG_ERROR_TYPE);
    EXPECT_THAT(FakeEvents()[0].strings,
                ElementsAre("ZYN_NT_Horavex2 error: 1063", "StartServiceCtrlDispatcher failed."));
    EXPECT_THAT(FakeCallsNamed("RegCreateKeyExA"), IsEmpty());
}

TEST_F(CommandLineTest, AnUnrecognisedOptionTakesTheUsagePathToo)
{
    ::testing::internal::CaptureStdout();
    Run({"-loadx", "S", "100"});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), kUsage);
    EXPECT_EQ(FakeEvents().size(), 1u);
    EXPECT_EQ(FakeRegistryGet(kKey, "SvcInfo"), nullptr);
}

TEST_F(CommandLineTest, UnderTheManagerTheDispatcherRunsTheServiceAfterThePause)
{
    g_fakeServiceControl.dispatcherError = 0;
    g_fakeKernel.onWait = [](int wait) {
        if (wait == 2)
            g_fakeServiceControl.handler(SERVICE_CONTROL_STOP);
    };
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run({}), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 10000", "Sleep 5000"));
    EXPECT_EQ(FakeCallsNamed("SetServiceStatus").back(), "SetServiceStatus 0x5e 16 1 1 0 0 0 0");
    EXPECT_TRUE(FakeEvents().empty());
}

// ---- the command runs ----

struct LoadCase {
    const char *name;
    std::vector<std::string> args;
    DWORD word;
};

void PrintTo(const LoadCase &c, std::ostream *os) { *os << c.name; }

class LoadPathTable : public CommandLineTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadPathTable, StoresTheWordThenInstallsAndPauses)
{
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run(GetParam().args), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(StoredWord(), GetParam().word);
    const std::vector<std::string> calls = CallsWithoutLocks();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "Sleep 5000");
    EXPECT_EQ(FakeCallsNamed("OpenSCManagerA").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, LoadPathTable,
    ::testing::Values(LoadCase{"Alone", {"-load"}, 0x00000096}, LoadCase{"UpperS", {"-load", "S"}, 0xFFFF0096},
                      LoadCase{"LowerS", {"-load", "s"}, 0x00000096},
                      LoadCase{"Local100", {"-load", "L", "100"}, 0x00000064},
                      LoadCase{"LowerS100", {"/LOAD", "s", "100"}, 0x00000064},
                      LoadCase{"Utc300", {"-Load", "S", "300"}, 0xFFFF00FA},
                      LoadCase{"Utc10", {"-load", "S", "10"}, 0xFFFF0032},
                      LoadCase{"Local7", {"-load", "L", "7"}, 0x00000032},
                      LoadCase{"Local1000", {"-load", "L", "1000"}, 0x000000FA},
                      LoadCase{"NotANumber", {"-load", "L", "abc"}, 0x00000032},
                      LoadCase{"Negative", {"-load", "L", "-100"}, 0x00000032},
                      LoadCase{"SpaceThen75", {"-load", "L", " 75"}, 0x0000004B},
                      LoadCase{"FourthArgumentIgnored", {"-load", "S", "120", "99"}, 0xFFFF0078}),
    [](const ::testing::TestParamInfo<LoadCase> &info) { return info.param.name; });

// A settings word that could not be stored is printed as every command failure is, and the
// service is installed all the same (its event source's key fails the same way here).
struct StoreFailureCase {
    const char *name;
    LONG *registryError;
    const char *failedCall;
};

void PrintTo(const StoreFailureCase &c, std::ostream *os) { *os << c.name; }

class StoreFailureTable : public CommandLineTest, public ::testing::WithParamInterface<StoreFailureCase> {};

TEST_P(StoreFailureTable, IsPrintedAndTheServiceInstalledAllTheSame)
{
    *GetParam().registryError = ERROR_ACCESS_DENIED;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"-load", "S", "100"}), 0);
    const std::string failure = std::string(GetParam().failedCall) + " failed - Access denied. (0x5)\n";
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), failure + "ZYN NT Horavex Service2 loaded.\n" + failure);
    EXPECT_EQ(FakeRegistryGet(kKey, "SvcInfo"), nullptr);
    EXPECT_EQ(FakeCallsNamed("OpenSCManagerA").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(RegistryRefusals, StoreFailureTable,
                         ::testing::Values(StoreFailureCase{"KeyNotOpened", &g_fake.createKeyError, "RegCreateKeyEx"},
                                           StoreFailureCase{"ValueNotWritten", &g_fake.setValueError, "RegSetValueEx"}),
                         [](const ::testing::TestParamInfo<StoreFailureCase> &info) { return info.param.name; });

TEST_F(CommandLineTest, UnloadIgnoresFurtherArgumentsRemovesAndPauses)
{
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"-unload", "x"}), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(FakeCallsNamed("OpenSCManagerA").size(), 1u);
    EXPECT_EQ(CallsWithoutLocks().back(), "Sleep 5000");
    EXPECT_EQ(FakeRegistryGet(kKey, "SvcInfo"), nullptr);
}

// ---- the debug run ----

TEST_F(CommandLineTest, DebugRunsTheWorkerInTheConsoleUntilCtrlC)
{
    FakeRegistryPut(kKey, "SvcInfo", REG_DWORD, {0x64, 0, 0, 0});
    g_fakeKernel.onWait = [](int wait) {
        if (wait == 2) {
            EXPECT_TRUE(g_fakeKernel.consoleHandler(CTRL_C_EVENT));
        }
    };
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(Run({"-debug"}), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Debugging ZYN NT Horavex Service2.\n"
              "64h\n"
              " Found TAV \n"
              " 0  0  1  1  149  768 \n"
              " CurrentProcessId  \n"
              " Initialize DACL  \n"
              " Set DACL  \n"
              " Get Command Line  \n"
              " Open Process Token  \n"
              " Initialize Token Privileges  \n"
              "Stopping ZYN NT Horavex Service2.\n");
    EXPECT_EQ(g_console.consoleMode, 1);
    EXPECT_THAT(FakeCallsNamed("SetConsoleCtrlHandler"), ElementsAre("SetConsoleCtrlHandler 1"));
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 5000", "Sleep 5000"));
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), IsEmpty());
    EXPECT_EQ(g_worker.tickCount, 1u);
    EXPECT_THAT(FakeCallsNamed("CreateWindowExA"), ElementsAre("CreateWindowExA 0x0 ZYN_NT_Horavex2 session ZYN NT "
                                                               "Horavex Service2 0x0 0 0 0 0 (nil) (nil) (nil) (nil)"));
    EXPECT_EQ(g_fakeKernel.windowProcedure, &SessionWindowProcedure);
}

struct ControlCase {
    const char *name;
    DWORD type;
    std::vector<std::string> calls;  // the stop, the handler's wait, the closing's timer, its return
    UINT message = 0;  // when set, sent to the session's window with `type` as its wParam instead
};

void PrintTo(const ControlCase &c, std::ostream *os) { *os << c.name; }

class ControlTable : public CommandLineTest, public ::testing::WithParamInterface<ControlCase> {};

// As Windows does, the handler runs on a thread of its own, started here at the worker's second
// wait, which goes on once the handler waits or has returned. The process ends when the handler
// of a close, a log-off or a shutdown returns: by then the closing sequence has given the timer
// back and the precise mode's rate with it. Ctrl+C and Ctrl+Break return at once. The precise
// mode runs, and has a rate of its own in force from the start of the loop.
TEST_P(ControlTable, StopsTheWorkerAndWaitsForItsClosingOnlyWhenTheProcessEnds)
{
    g_console.consoleMode = 1;
    FakeRegistryPut(kKey, "Discipline", REG_DWORD, {1, 0, 0, 0});
    g_fake.timeAdjustment.readable = true;
    std::promise<void> waitingOrReturned;
    std::once_flag told;
    auto tell = [&] { std::call_once(told, [&] { waitingOrReturned.set_value(); }); };
    g_fake.onCall = [&](const std::string &call) {
        if (call == "timeBeginPeriod 1") {
            g_clockRate.rateSet = 1;
            g_clockRate.setWith = RATE_CALL_LEGACY;
            g_clockRate.adjustment = 156300;
            g_fake.timeAdjustment = FakeState::Adjustment{true, FALSE, 156300};
        }
        if (call.rfind("SleepConditionVariableSRW", 0) == 0)
            tell();
        if (call == "timeEndPeriod 1") {  // the closing has begun, and has handed nothing back yet
            EXPECT_EQ(g_stopRequest.closed, 0);
        }
    };
    std::thread handler;
    g_fakeKernel.onWait = [&](int wait) {
        if (wait != 2)
            return;
        handler = std::thread([&] {
            const LRESULT answer = GetParam().message ? SessionWindowProcedure(NULL, GetParam().message, GetParam().type, 0)
                                                      : ConsoleControl(GetParam().type);
            FakeRecord("handler returned %ld", static_cast<long>(answer));
            tell();
        });
        waitingOrReturned.get_future().wait();
    };
    ::testing::internal::CaptureStdout();
    RunWorker();
    handler.join();
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), EndsWith(" Initialize Token Privileges  \nStopping ZYN NT Horavex Service2.\n"));
    EXPECT_EQ(CallsOnly({"SetEvent", "SleepConditionVariableSRW", "timeEndPeriod", "SetSystemTimeAdjustment", "handler"}),
              GetParam().calls);
}

const std::vector<std::string> kReturnsAtOnce = {"SetEvent 0x100", "handler returned 1", "timeEndPeriod 1",
                                                 "SetSystemTimeAdjustment 0 1"};
const std::vector<std::string> kWaitsForTheClosing = {"SetEvent 0x100", "SleepConditionVariableSRW 4000 0", "timeEndPeriod 1",
                                                      "SetSystemTimeAdjustment 0 1", "handler returned 1"};
const std::vector<std::string> kWindowWaitsForTheClosing = {"SetEvent 0x100", "SleepConditionVariableSRW 4000 0",
                                                            "timeEndPeriod 1", "SetSystemTimeAdjustment 0 1",
                                                            "handler returned 0"};

INSTANTIATE_TEST_SUITE_P(ConsoleEvents, ControlTable,
                         ::testing::Values(ControlCase{"CtrlC", CTRL_C_EVENT, kReturnsAtOnce},
                                           ControlCase{"CtrlBreak", CTRL_BREAK_EVENT, kReturnsAtOnce},
                                           ControlCase{"Close", CTRL_CLOSE_EVENT, kWaitsForTheClosing},
                                           ControlCase{"Logoff", CTRL_LOGOFF_EVENT, kWaitsForTheClosing},
                                           ControlCase{"Shutdown", CTRL_SHUTDOWN_EVENT, kWaitsForTheClosing},
                                           ControlCase{"SessionEnds", TRUE, kWindowWaitsForTheClosing, WM_ENDSESSION}),
                         [](const ::testing::TestParamInfo<ControlCase> &info) { return info.param.name; });

// A log-off or a shutdown that is asked about may still be called off: the run goes on until it ends.
TEST_F(CommandLineTest, ASessionEndThatIsCalledOffLeavesTheWorkerRunning)
{
    g_fakeKernel.conditionWaitsTimeOut = true;
    ASSERT_TRUE(CreateStopEvent());
    EXPECT_EQ(SessionWindowProcedure(NULL, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(SessionWindowProcedure(NULL, WM_ENDSESSION, FALSE, 0), 0);
    EXPECT_THAT(g_fake.calls, ElementsAre("CreateEventA (nil) 1 0 (null)"));
}

// Before the worker's stop event exists, or once it is closed again, there is nothing to stop
// or to wait for: a close returns at once too (a wait would answer only when its time ran out).
TEST_F(CommandLineTest, AStopBeforeTheStopEventExistsOnlyPrints)
{
    g_fakeKernel.conditionWaitsTimeOut = true;
    for (DWORD type : {CTRL_C_EVENT, CTRL_CLOSE_EVENT}) {
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(ConsoleControl(type));
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Stopping ZYN NT Horavex Service2.\n");
    }
    EXPECT_THAT(CallsOnly({"SetEvent", "SleepConditionVariableSRW"}), IsEmpty());
}

}  // namespace
