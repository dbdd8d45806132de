// The worker: start-up steps, reports and traces, the polling loop, the closing sequence.
#include "engine/clock_worker.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/precise_clock.h"
#include "engine/settings_word.h"
#include "engine/time_check.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "base/console_output.h"
#include "service/status_report.h"
#include "engine/stop_request.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::StartsWith;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kClosing[] = "CloseHandle 0x100";

std::string Pending(int checkpoint, int hintMs)
{
    return "SetServiceStatus 0x5e 16 2 0 0 0 " + std::to_string(checkpoint) + " " + std::to_string(hintMs);
}

const char kRunning[] = "SetServiceStatus 0x5e 16 4 1 0 0 0 0";

class ClockWorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        SetStatusHandle(reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5e));
        FakeRegistryPut(kKey, "SvcInfo", REG_DWORD, {0x96, 0, 0, 0});
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
        g_fake.calls.clear();
    }

    void TearDown() override { EndEverything(); }

    // Another thread asks for a stop just before the wait with this number looks at the event.
    void StopAtWait(int number)
    {
        g_fakeKernel.onWait = [number](int wait) {
            if (wait == number)
                RequestStop();
        };
    }

    // Another thread asks for a stop right after the call recorded as `line`.
    void StopAfter(const std::string &line)
    {
        g_fake.onCall = [line](const std::string &call) {
            if (call == line)
                RequestStop();
        };
    }

    // Makes the status report with this 1-based number, and every one after it, fail.
    void RefuseReportFrom(int number)
    {
        auto reports = std::make_shared<int>(0);
        g_fake.onCall = [reports, number](const std::string &call) {
            // Runs as the report is recorded, before the fake decides its result.
            if (call.rfind("SetServiceStatus", 0) == 0 && ++*reports == number)
                g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
        };
    }

    std::vector<std::string> Closing(bool eventCreated)
    {
        std::vector<std::string> closing;
        if (eventCreated)
            closing.push_back(kClosing);
        closing.push_back("MessageBeep 0");
        closing.push_back("Sleep 5000");
        return closing;
    }

    // The last calls of the run: they must be the closing sequence and nothing after it.
    void ExpectClosingSequenceLast(bool eventCreated)
    {
        const std::vector<std::string> calls = CallsWithoutLocks();
        const std::vector<std::string> closing = Closing(eventCreated);
        ASSERT_GE(calls.size(), closing.size());
        EXPECT_THAT(std::vector<std::string>(calls.end() - closing.size(), calls.end()), ElementsAreArray(closing));
        EXPECT_EQ(FakeCallsNamed("MessageBeep").size(), 1u);
        EXPECT_EQ(g_stopRequest.stopEvent, nullptr);
    }
};

// ---- a normal start ----

TEST_F(ClockWorkerTest, ANormalStartMakesItsCallsInOrder)
{
    StopAtWait(1);
    RunWorker();
    EXPECT_THAT(CallsExcept({"InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection",
                             "NttcIdentify", "NttcWriteReg"}),
                ElementsAre("RegCreateKeyExA HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vantrel 0 (nil) 0 0xf003f (nil)",
                            "RegQueryValueExA SvcInfo (nil) 4", "RegQueryValueExA Discipline (nil) 4",
                            "RegQueryValueExA EdgeDelayUs (nil) 4", "RegCloseKey", Pending(1, 3000),
                            "CreateEventA (nil) 1 0 (null)", "NttcOpen", Pending(2, 3000), "GetCurrentProcessId",
                            "OpenProcess 0x1fffff 0 4242", "SetPriorityClass 0x101 0x100", Pending(3, 3000),
                            "ConvertStringSecurityDescriptorToSecurityDescriptorA "
                            "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU) 1 (nil)",
                            "GetSecurityDescriptorDacl", "GetModuleFileNameA (nil) 512",
                            "SetFileSecurityA C:\\Program Files\\Horavex\\RUZivEr2.exe 4", Pending(4, 3000),
                            "OpenProcessToken 0x101 0x28", "LookupPrivilegeValueA (null) SeSystemtimePrivilege",
                            "AdjustTokenPrivileges 0x102 disable-all (nil) 0 (nil) (nil)", kRunning,
                            "RegGetValueA HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32Time Start 0x10", "timeBeginPeriod 1",
                            "WaitForSingleObject 0x100 51", "SetEvent 0x100", "timeEndPeriod 1", kClosing,
                            "MessageBeep 0", "Sleep 5000"));
    EXPECT_EQ(g_fakeKernel.priorityClass, static_cast<DWORD>(REALTIME_PRIORITY_CLASS));
    EXPECT_EQ(FakeOpenHandles(), 2);  // the process and its token stay open; the event is closed
}

TEST_F(ClockWorkerTest, TheClockPrivilegeRecordIsPreparedForTheCheck)
{
    StopAtWait(1);
    RunWorker();
    EXPECT_EQ(g_timeCheck.inputs.token, reinterpret_cast<HANDLE>(0x102));
    EXPECT_EQ(g_timeCheck.inputs.privileges.PrivilegeCount, 1u);
    EXPECT_EQ(g_timeCheck.inputs.privileges.Privileges[0].Luid.LowPart, 22u);
    EXPECT_EQ(g_timeCheck.inputs.privileges.Privileges[0].Luid.HighPart, 0);
    EXPECT_EQ(g_timeCheck.inputs.privileges.Privileges[0].Attributes, static_cast<DWORD>(SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(g_timeCheck.inputs.slopMs, 150);
    EXPECT_EQ(g_timeCheck.inputs.useUtc, 0);
}

TEST_F(ClockWorkerTest, TheProgramFileGetsAProtectedDaclNotANullOne)
{
    StopAtWait(1);
    RunWorker();
    EXPECT_EQ(g_fakeKernel.appliedDescriptor, "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)");
    EXPECT_THAT(FakeCallsNamed("SetFileSecurityA"), ElementsAre("SetFileSecurityA C:\\Program Files\\Horavex\\RUZivEr2.exe 4"));
    EXPECT_EQ(g_fakeKernel.descriptors.size(), 1u);  // kept once applied
    EXPECT_THAT(FakeCallsNamed("LocalFree"), IsEmpty());
}

TEST_F(ClockWorkerTest, ConsoleModeTracesEachStepAndEachCheckInStep)
{
    g_console.consoleMode = 1;
    FakeQueueWord(0x12001010);
    FakeQueueWord(0x12001010);
    FakeQueueWord(0x12001000);
    FakeQueueWord(0x12001000);
    g_fake.localTime = FakeTime(2026, 3, 1, 12, 0, 10, 60);
    StopAtWait(3);
    ::testing::internal::CaptureStdout();
    RunWorker();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "96h\n"
              " Found TAV \n"
              " 0  0  1  1  149  768 \n"
              " CurrentProcessId  \n"
              " Initialize DACL  \n"
              " Set DACL  \n"
              " Get Command Line  \n"
              " Open Process Token  \n"
              " Initialize Token Privileges  \n"
              " CheckTime TRUE. \n"
              " 10  2  1  1  149  768 \n");
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), IsEmpty());
    EXPECT_EQ(g_worker.tickCount, 2u);
}

// The precise mode proves at its start that the clock privilege can be enabled. With it, the
// first bracket shows the clock a minute off and it is stepped; without it, the mode says so
// with the system's word and never touches the clock.
TEST_F(ClockWorkerTest, ThePreciseModeWithoutTheClockPrivilegeOnlyMeasures)
{
    for (bool held : {true, false}) {
        SCOPED_TRACE(held);
        TearDown();
        SetUp();
        FakeRegistryPut(kKey, "Discipline", REG_DWORD, {1, 0, 0, 0});
        g_fake.privilegeHeld = held;
        g_fake.localTime = FakeTime(2026, 3, 1, 12, 1, 10, 0);
        for (DWORD word : {0x12001000u, 0x12001000u, 0x12001100u, 0x12001100u})
            FakeQueueWord(word);
        StopAtWait(3);
        RunWorker();
        EXPECT_EQ(FakeCallsNamed("SetLocalTime").size(), held ? 2u : 0u);
        EXPECT_THAT(FakeCallsNamed("SetSystemTimeAdjustment"), IsEmpty());
        const std::vector<FakeEvent> events = FakeEvents();
        EXPECT_EQ(std::count_if(events.begin(), events.end(),
                                [](const FakeEvent &e) { return e.eventId == 0x80000007 && !e.strings.empty() && e.strings[0] != "1300"; }),
                  held ? 0 : 1);
    }
}

// The precise mode's board's delay, -3.5 ms as stored: traced, and handed to the mode in ms.
TEST_F(ClockWorkerTest, ThePreciseModeTakesTheBoardsDelayInMs)
{
    g_console.consoleMode = 1;
    FakeRegistryPut(kKey, "Discipline", REG_DWORD, {1, 0, 0, 0});
    FakeRegistryPut(kKey, "EdgeDelayUs", REG_DWORD, {0x54, 0xF2, 0xFF, 0xFF});
    StopAtWait(1);
    ::testing::internal::CaptureStdout();
    RunWorker();
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), StartsWith("96h\n Precise mode \n Board delay -3.500 ms \n Found TAV \n"));
    EXPECT_EQ(g_preciseClock.options.edgeDelayMs, -3.5);
}

TEST_F(ClockWorkerTest, TheCheckReadsTheAddressTheBoardAnsweredAt)
{
    g_fakeReader.boards[0x300] = FakeBoardAnswer{2, 0x310};
    StopAtWait(2);
    RunWorker();
    EXPECT_THAT(FakeCallsNamed("NttcReadTime"), ElementsAre("NttcReadTime 0x310", "NttcReadTime 0x310"));
    EXPECT_EQ(g_worker.startBoardAddress, 0x310u);
    EXPECT_EQ(g_worker.startFamilyCode, 2u);
    EXPECT_EQ(g_worker.startIdentificationValue, 144u);
}

// ---- discovery and its retry ----

TEST_F(ClockWorkerTest, ABoardFoundOnlyOnTheSecondPassAddsAReportAndAPause)
{
    g_fakeReader.boards.clear();
    g_fake.onCall = [](const std::string &call) {
        if (call == "Sleep 3000")
            g_fakeReader.boards[0xC800] = FakeBoardAnswer{1, 0xC800};
    };
    StopAtWait(1);
    RunWorker();
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"),
                ElementsAre(Pending(1, 3000), Pending(2, 7000), Pending(3, 3000), Pending(4, 3000), Pending(5, 3000),
                            kRunning));
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 3000", "Sleep 5000"));
    EXPECT_EQ(FakeCallsNamed("NttcIdentify").size(), 22u + 11u);
    EXPECT_EQ(g_worker.discoveryResult, 1);
    EXPECT_EQ(g_timeCheck.inputs.boardAddress, 0xC800);
}

TEST_F(ClockWorkerTest, NoBoardAtAllEndsAfterTwoPasses)
{
    g_fakeReader.boards.clear();
    RunWorker();
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"),
                ElementsAre(Pending(1, 3000), Pending(2, 7000), "SetServiceStatus 0x5e 16 3 1 0 0 3 7000"));
    EXPECT_EQ(FakeCallsNamed("NttcIdentify").size(), 44u);
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 3000", "Sleep 5000"));
    EXPECT_THAT(FakeCallsNamed("OpenProcess"), IsEmpty());
    ExpectClosingSequenceLast(true);
}

TEST_F(ClockWorkerTest, NoBoardInConsoleModePausesWithoutReporting)
{
    g_console.consoleMode = 1;
    g_fakeReader.boards.clear();
    ::testing::internal::CaptureStdout();
    RunWorker();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "96h\nStart-up failed (2): no reader board answered at any of the 22 addresses, in two passes 3 s "
              "apart\n");
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), IsEmpty());
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 3000", "Sleep 5000"));
    ExpectClosingSequenceLast(true);
}

// ---- each failing step ends in the closing sequence ----

struct FailureCase {
    const char *name;
    std::function<void()> arrange;
    const char *lastCallBeforeClosing;  // the failing step's call
    bool eventCreated;
    int reportsMade;                    // SetServiceStatus calls, the refused one included
    bool descriptorKept;                // the failing step comes after the file was protected
    const char *consoleOutput;          // the trace lines reached
    DWORD code;                         // the step's code
    const char *systemText;             // the failing call's error, as the entry and the line show it
};

// The steps in words, by code, as the event entry and the console line name them.
const char *const kStepTexts[] = {
    "", "the reader library ZYN_NTTC.dll did not open",
    "no reader board answered at any of the 22 addresses, in two passes 3 s apart",
    "the process could not enter the real-time priority class", "the program's file could not be given its protection",
    "the clock privilege could not be prepared", "the stop event could not be created"};

std::string FailureLine(const FailureCase &c)
{
    return "Start-up failed (" + std::to_string(c.code) + "): " + kStepTexts[c.code] +
           (*c.systemText ? std::string(" - ") + c.systemText : "") + "\n";
}

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

class FailureTable : public ClockWorkerTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTable, EndsThroughTheClosingSequence)
{
    const FailureCase &c = GetParam();
    c.arrange();
    RunWorker();
    const std::vector<std::string> calls =
        CallsExcept({"InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection", "FormatMessageA",
                     "LocalFree message", "RegisterEventSourceA", "ReportEventA", "DeregisterEventSource"});
    const std::vector<std::string> closing = Closing(c.eventCreated);
    ASSERT_GT(calls.size(), closing.size() + 1);
    // Then stop-pending, with the next checkpoint and a hint that covers the closing pause.
    EXPECT_EQ(calls[calls.size() - closing.size() - 1],
              "SetServiceStatus 0x5e 16 3 1 0 0 " + std::to_string(c.reportsMade + 1) + " 7000");
    EXPECT_THAT(calls[calls.size() - closing.size() - 2], StartsWith(c.lastCallBeforeClosing));
    ExpectClosingSequenceLast(c.eventCreated);
    // One error entry names the step and the failing call's error; the service stops with the
    // step's code (service_entry_test).
    ASSERT_EQ(g_fakeService.events.size(), 1u);
    EXPECT_EQ(g_fakeService.events[0].type, EVENTLOG_ERROR_TYPE);
    EXPECT_EQ(g_fakeService.events[0].eventId, 0xC0000001u);
    EXPECT_THAT(g_fakeService.events[0].strings,
                ElementsAre(std::to_string(c.code), kStepTexts[c.code], c.systemText));
    EXPECT_EQ(g_status.startupFailureCode, c.code);
    EXPECT_THAT(FakeCallsNamed("WaitForSingleObject"), IsEmpty());
    EXPECT_THAT(FakeCallsNamed("timeBeginPeriod"), IsEmpty());
    EXPECT_EQ(FakeCallsNamed("SetServiceStatus").size(), static_cast<size_t>(c.reportsMade) + 1);
    // A descriptor that could not be applied is freed; one that was applied is kept.
    EXPECT_EQ(g_fakeKernel.descriptors.size(), c.descriptorKept ? 1u : 0u);
}

TEST_P(FailureTable, TracesTheSameStepsInConsoleMode)
{
    const FailureCase &c = GetParam();
    g_console.consoleMode = 1;
    c.arrange();
    ::testing::internal::CaptureStdout();
    RunWorker();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.consoleOutput + FailureLine(c));
    EXPECT_THAT(FakeCallsNamed("WaitForSingleObject"), IsEmpty());
    EXPECT_TRUE(g_fakeService.events.empty());
}

const std::string kLongPath = "C:\\" + std::string(600, 'x') + "\\RUZivEr2.exe";

INSTANTIATE_TEST_SUITE_P(
    StartUpSteps, FailureTable,
    ::testing::Values(
        FailureCase{"EventNotCreated", [] { g_fakeKernel.createEventFails = true; }, "CreateEventA", false, 1, false,
                    "96h\n", 6, "Not enough memory. (0x8)"},
        FailureCase{"LibraryNotOpened", [] { g_fakeReader.openResult = 0; }, "NttcOpen", true, 1, false, "96h\n", 1, ""},
        FailureCase{"PriorityNotSet", [] { g_fakeKernel.setPriorityFails = true; }, "SetPriorityClass", true, 2, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n", 3, "Invalid handle. (0x6)"},
        FailureCase{"OwnProcessNotOpened", [] { g_fakeKernel.openProcessFails = true; },
                    "SetPriorityClass (nil) 0x100", true, 2, false, "96h\n Found TAV \n 0  0  1  1  149  768 \n", 3, "Invalid handle. (0x6)"},
        FailureCase{"DescriptorNotMade", [] { g_fakeKernel.convertDescriptorFails = true; },
                    "ConvertStringSecurityDescriptorToSecurityDescriptorA", true, 3, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n", 4, ""},
        FailureCase{"DaclNotSet", [] { g_fakeKernel.daclQueryFails = true; }, "LocalFree descriptor", true, 3, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n", 4, ""},
        FailureCase{"FileSecurityNotApplied", [] { g_fakeKernel.setFileSecurityError = ERROR_ACCESS_DENIED; },
                    "LocalFree descriptor", true, 3, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line Error  \n", 4, "Access denied. (0x5)"},
        FailureCase{"ProgramPathCut", [] { g_fakeKernel.modulePath = kLongPath; }, "LocalFree descriptor", true, 3, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line Error  \n", 4, "Insufficient buffer. (0x7a)"},
        FailureCase{"ProgramPathUnknown", [] { g_fakeKernel.moduleFileNameError = ERROR_ACCESS_DENIED; },
                    "LocalFree descriptor", true, 3, false,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line Error  \n", 4, "Access denied. (0x5)"},
        FailureCase{"TokenNotOpened", [] { g_fakeKernel.openTokenFails = true; }, "OpenProcessToken", true, 4, true,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line  \n", 5, "Access denied. (0x5)"},
        FailureCase{"PrivilegeNotFound", [] { g_fakeKernel.lookupPrivilegeFails = true; }, "LookupPrivilegeValueA",
                    true, 4, true,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line  \n Open Process Token  \n", 5, ""},
        FailureCase{"PrivilegesNotDisabled", [] { g_fake.adjustDisableError = ERROR_ACCESS_DENIED; },
                    "AdjustTokenPrivileges", true, 4, true,
                    "96h\n Found TAV \n 0  0  1  1  149  768 \n CurrentProcessId  \n Initialize DACL  \n Set DACL  \n"
                    " Get Command Line  \n Open Process Token  \n", 5, "Access denied. (0x5)"}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return info.param.name; });

TEST_F(ClockWorkerTest, ARefusedFirstReportEndsBeforeTheStopEventExists)
{
    g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
    RunWorker();
    EXPECT_THAT(FakeCallsNamed("CreateEventA"), IsEmpty());
    EXPECT_EQ(FakeCallsNamed("SetServiceStatus").size(), 1u);
    ExpectClosingSequenceLast(false);
}

// A refused report at any report point ends the start-up there.
struct RefusedReportCase {
    const char *name;
    int refusedReport;
    const char *callBeforeIt;
};

void PrintTo(const RefusedReportCase &c, std::ostream *os) { *os << c.name; }

class RefusedReportTable : public ClockWorkerTest, public ::testing::WithParamInterface<RefusedReportCase> {};

TEST_P(RefusedReportTable, EndsTheStartUpAndLogsTheRefusal)
{
    RefuseReportFrom(GetParam().refusedReport);
    RunWorker();
    const std::vector<std::string> reports = FakeCallsNamed("SetServiceStatus");
    EXPECT_EQ(reports.size(), static_cast<size_t>(GetParam().refusedReport));
    const std::vector<std::string> calls = CallsExcept({"InitializeCriticalSection", "EnterCriticalSection",
                                                        "LeaveCriticalSection", "RegisterEventSourceA", "ReportEventA",
                                                        "DeregisterEventSource", "SetServiceStatus"});
    const std::vector<std::string> closing = Closing(true);
    EXPECT_THAT(calls[calls.size() - closing.size() - 1], StartsWith(GetParam().callBeforeIt));
    ExpectClosingSequenceLast(true);
    ASSERT_EQ(FakeEvents().size(), 1u);
    EXPECT_THAT(FakeEvents()[0].strings, ElementsAre("ZYN_NT_Horavex2 error: 6", "SetServiceStatus"));
    EXPECT_THAT(FakeCallsNamed("WaitForSingleObject"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(ReportPoints, RefusedReportTable,
                         ::testing::Values(RefusedReportCase{"AfterDiscovery", 2, "NttcIdentify 0x300"},
                                           RefusedReportCase{"AfterPriority", 3, "SetPriorityClass"},
                                           RefusedReportCase{"AfterFileSecurity", 4, "SetFileSecurityA"},
                                           RefusedReportCase{"Running", 5, "AdjustTokenPrivileges"}),
                         [](const ::testing::TestParamInfo<RefusedReportCase> &info) { return info.param.name; });

TEST_F(ClockWorkerTest, ARefusedRetryReportEndsBeforeThePause)
{
    g_fakeReader.boards.clear();
    RefuseReportFrom(2);
    RunWorker();
    EXPECT_EQ(FakeCallsNamed("NttcIdentify").size(), 22u);
    EXPECT_THAT(FakeCallsNamed("Sleep"), ElementsAre("Sleep 5000"));
    ExpectClosingSequenceLast(true);
}

// ---- the 1 ms system timer around the polling loop ----

struct TimerCase {
    const char *name;
    int consoleMode;
    bool refused;
    std::vector<std::string> calls;
};

void PrintTo(const TimerCase &c, std::ostream *os) { *os << c.name; }

class TimerTable : public ClockWorkerTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(TimerTable, AskedForJustBeforeTheLoopAndGivenBackOnlyWhenGranted)
{
    const TimerCase &c = GetParam();
    g_console.consoleMode = c.consoleMode;
    g_fakeKernel.timerPeriodRefused = c.refused;
    StopAtWait(2);
    ::testing::internal::CaptureStdout();
    RunWorker();
    ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(CallsOnly({"SetServiceStatus", "timeBeginPeriod", "WaitForSingleObject", "NttcReadTime",
                           "timeEndPeriod", "CloseHandle"}),
                ElementsAreArray(c.calls));
    EXPECT_EQ(g_fakeKernel.timerPeriodsHeld, 0);
}

const std::vector<std::string> kPollOnce = {"WaitForSingleObject 0x100 51", "NttcReadTime 0x300", "NttcReadTime 0x300",
                                           "WaitForSingleObject 0x100 51"};

std::vector<std::string> Joined(std::vector<std::vector<std::string>> parts)
{
    std::vector<std::string> joined;
    for (const std::vector<std::string> &part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

INSTANTIATE_TEST_SUITE_P(
    GrantedOrRefused, TimerTable,
    ::testing::Values(
        TimerCase{"ServiceGranted", 0, false,
                  Joined({{Pending(1, 3000), Pending(2, 3000), Pending(3, 3000), Pending(4, 3000), kRunning,
                           "timeBeginPeriod 1"},
                          kPollOnce,
                          {"timeEndPeriod 1", kClosing}})},
        TimerCase{"ConsoleGranted", 1, false, Joined({{"timeBeginPeriod 1"}, kPollOnce, {"timeEndPeriod 1", kClosing}})},
        // A refusal is no failure: the worker polls on the default timer and gives nothing back.
        TimerCase{"ServiceRefused", 0, true,
                  Joined({{Pending(1, 3000), Pending(2, 3000), Pending(3, 3000), Pending(4, 3000), kRunning,
                           "timeBeginPeriod 1"},
                          kPollOnce,
                          {kClosing}})}),
    [](const ::testing::TestParamInfo<TimerCase> &info) { return info.param.name; });

// ---- a correction on record ----

class CorrectionRecordTable : public ClockWorkerTest, public ::testing::WithParamInterface<int> {};

// The board's 12:00:10 against a clock a second ahead: set at the first comparison. As a
// service the correction writes its entry; at the console its trace stands for it.
TEST_P(CorrectionRecordTable, ACorrectionIsOnRecordAsAServiceOnly)
{
    const int console = GetParam();
    g_console.consoleMode = console;
    for (DWORD word : {0x12001010u, 0x12001010u, 0x12001000u, 0x12001000u})
        FakeQueueWord(word);
    g_fake.localTime = FakeTime(2026, 3, 1, 12, 0, 11, 50);
    StopAtWait(3);
    ::testing::internal::CaptureStdout();
    RunWorker();
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(FakeCallsNamed("SetLocalTime").size(), 2u);
    ASSERT_EQ(g_fakeService.events.size(), console ? 0u : 1u);
    if (!console) {
        EXPECT_EQ(g_fakeService.events[0].eventId, 0x40000002u);
    }
}

INSTANTIATE_TEST_SUITE_P(ServiceOrConsole, CorrectionRecordTable, ::testing::Values(0, 1));

// ---- stopping ----

TEST_F(ClockWorkerTest, AStopDuringStartUpLetsItFinishAndEndsAtTheFirstWait)
{
    StopAfter("NttcOpen");
    RunWorker();
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus").back(), kRunning);
    EXPECT_THAT(FakeCallsNamed("WaitForSingleObject"), ElementsAre("WaitForSingleObject 0x100 51"));
    EXPECT_EQ(g_worker.tickCount, 0u);
    EXPECT_THAT(FakeCallsNamed("NttcReadTime"), IsEmpty());
    ExpectClosingSequenceLast(true);
}

TEST_F(ClockWorkerTest, AStopWhilePollingEndsAtTheNextWait)
{
    StopAtWait(4);
    RunWorker();
    EXPECT_EQ(g_worker.tickCount, 3u);
    EXPECT_EQ(FakeCallsNamed("NttcReadTime").size(), 6u);
    EXPECT_EQ(FakeCallsNamed("WaitForSingleObject").size(), 4u);
    ExpectClosingSequenceLast(true);
}

TEST_F(ClockWorkerTest, AStopBeforeTheEventExistsDoesNothing)
{
    RequestStop();
    EXPECT_THAT(FakeCallsNamed("SetEvent"), IsEmpty());
    StopAtWait(3);
    RunWorker();
    EXPECT_EQ(g_worker.tickCount, 2u);
}

TEST_F(ClockWorkerTest, AStopAfterTheWorkerReturnedDoesNothing)
{
    StopAtWait(1);
    RunWorker();
    g_fake.calls.clear();
    RequestStop();
    EXPECT_THAT(FakeCallsNamed("SetEvent"), IsEmpty());
}

TEST_F(ClockWorkerTest, AFailedWaitEndsTheLoopInsteadOfSpinning)
{
    g_fakeKernel.maxWaits = 2;
    RunWorker();
    EXPECT_EQ(g_worker.tickCount, 2u);
    EXPECT_EQ(FakeCallsNamed("WaitForSingleObject").size(), 3u);
    ExpectClosingSequenceLast(true);
}

}  // namespace
