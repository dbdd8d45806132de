// Status reports to the service manager and error entries in the event log.
#include "service/status_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "fake_service.h"
#include "base/console_output.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const SERVICE_STATUS_HANDLE kHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);

std::string Pointer(const void *pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

std::string Enter() { return "EnterCriticalSection " + Pointer(&g_status.lock); }

std::string Leave() { return "LeaveCriticalSection " + Pointer(&g_status.lock); }

// The line SetServiceStatus records for a report through kHandle.
std::string Sent(DWORD state, DWORD accepted, DWORD exitCode, DWORD checkpoint, DWORD waitHint)
{
    char line[128];
    std::snprintf(line, sizeof line, "SetServiceStatus 0x5151 16 %u %u %u 0 %u %u", state, accepted, exitCode,
                  checkpoint, waitHint);
    return line;
}

const char kRegister[] = "RegisterEventSourceA (nil) ZYN_NT_Horavex2";
const char kReport[] = "ReportEventA 0xe7e7 1 0 0 (nil) 2 0 (nil)";
const char kDeregister[] = "DeregisterEventSource 0xe7e7";

std::vector<DWORD> SentCheckpoints()
{
    std::vector<DWORD> checkpoints;
    for (const std::string &line : FakeCallsNamed("SetServiceStatus")) {
        DWORD fields[7];
        EXPECT_EQ(std::sscanf(line.c_str(), "SetServiceStatus %*p %u %u %u %u %u %u %u", &fields[0], &fields[1],
                              &fields[2], &fields[3], &fields[4], &fields[5], &fields[6]),
                  7)
            << line;
        checkpoints.push_back(fields[5]);
    }
    return checkpoints;
}

MATCHER_P3(IsEvent, type, text, message, "")
{
    return arg.type == type && arg.category == 0 && arg.eventId == 0 &&
           arg.strings == std::vector<std::string>{text, message};
}

class StatusReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_console = ConsoleState{0};
        InitStatusReporting();
        SetStatusHandle(kHandle);
        FakeReset();
        FakeServiceReset();
    }

    void TearDown() override { EndStatusReporting(); }
};

struct StateCase {
    const char *name;
    DWORD state;
    DWORD exitCode;
    DWORD waitHint;
    DWORD accepted;
    DWORD checkpoint;
    DWORD counterAfter;
};

void PrintTo(const StateCase &c, std::ostream *os) { *os << c.name; }

class StatusStateTable : public StatusReportTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StatusStateTable, SendsTheStateWithItsControlsAndCheckpoint)
{
    const StateCase &c = GetParam();
    EXPECT_EQ(ReportStatus(c.state, c.exitCode, c.waitHint), TRUE);
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Sent(c.state, c.accepted, c.exitCode, c.checkpoint, c.waitHint),
                                          Leave()));
    EXPECT_EQ(g_status.checkpointCounter, c.counterAfter);
    EXPECT_THAT(FakeEvents(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    StatusStates, StatusStateTable,
    ::testing::Values(StateCase{"StartPending", SERVICE_START_PENDING, 0, 3000, 0, 1, 2},
                      StateCase{"Running", SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP, 0, 1},
                      StateCase{"StopPending", SERVICE_STOP_PENDING, 0, 5000, SERVICE_ACCEPT_STOP, 1, 2},
                      StateCase{"StoppedWithExitCode", SERVICE_STOPPED, 1067, 0, SERVICE_ACCEPT_STOP, 0, 1},
                      // Any other state counts as pending and takes the stop control.
                      StateCase{"Paused", 7, 0, 2000, SERVICE_ACCEPT_STOP, 1, 2}),
    [](const ::testing::TestParamInfo<StateCase> &info) { return info.param.name; });

TEST_F(StatusReportTest, OnlyPendingReportsTakeCheckpointsInTurn)
{
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStatus(SERVICE_RUNNING, 0, 0);
    ReportStatus(SERVICE_STOP_PENDING, 0, 5000);
    ReportStatus(SERVICE_STOPPED, 0, 0);
    EXPECT_THAT(SentCheckpoints(), ElementsAre(1u, 2u, 0u, 3u, 0u));
}

// A stop or interrogation answers with the state last sent, exit code 0 and no hint.
struct QueryCase {
    const char *name;
    DWORD state;  // reported after a first start-pending report, which took checkpoint 1
    DWORD exitCode;
    DWORD waitHint;
    DWORD accepted;
    DWORD checkpoint;  // the query's
    DWORD counterAfter;
};

void PrintTo(const QueryCase &c, std::ostream *os) { *os << c.name; }

class StatusQueryTable : public StatusReportTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(StatusQueryTable, AnswersWithTheCurrentState)
{
    const QueryCase &c = GetParam();
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStatus(c.state, c.exitCode, c.waitHint);
    FakeReset();
    EXPECT_EQ(ReportCurrentState(), TRUE);
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Sent(c.state, c.accepted, 0, c.checkpoint, 0), Leave()));
    EXPECT_EQ(g_status.checkpointCounter, c.counterAfter);
}

INSTANTIATE_TEST_SUITE_P(
    StatusQueries, StatusQueryTable,
    ::testing::Values(QueryCase{"WhileRunningLeavesTheCounter", SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP, 0, 2},
                      QueryCase{"WhileStopPendingTakesTheNextNumber", SERVICE_STOP_PENDING, 0, 5000,
                                SERVICE_ACCEPT_STOP, 3, 4},
                      QueryCase{"WhileStartPendingTakesTheNextNumber", SERVICE_START_PENDING, 0, 3000, 0, 3, 4}),
    [](const ::testing::TestParamInfo<QueryCase> &info) { return info.param.name; });

// The stopped report is the last: a control that comes after it (an interrogate, a stop)
// sends nothing, and leaves the exit codes the manager has.
TEST_F(StatusReportTest, AControlAfterTheStoppedReportSendsNothing)
{
    KeepStartupFailureCode(2);
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStopped();
    FakeReset();
    SetCurrentState(SERVICE_STOP_PENDING);
    EXPECT_EQ(ReportCurrentState(), TRUE);
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), IsEmpty());
    EXPECT_EQ(g_status.status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(g_status.status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(g_status.status.dwServiceSpecificExitCode, 2u);
}

TEST_F(StatusReportTest, StopMarksStopPendingWithoutReportingUntilAsked)
{
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    ReportStatus(SERVICE_RUNNING, 0, 0);
    FakeReset();
    SetCurrentState(SERVICE_STOP_PENDING);
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Leave()));
    EXPECT_EQ(ReportCurrentState(), TRUE);
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"),
                ElementsAre(Sent(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 2, 0)));
}

TEST_F(StatusReportTest, RefusedReportIsLoggedWithTheRefusalsError)
{
    g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
    EXPECT_EQ(ReportStatus(SERVICE_START_PENDING, 0, 3000), FALSE);
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Sent(SERVICE_START_PENDING, 0, 0, 1, 3000), Leave(), Enter(),
                                          Leave(), kRegister, kReport, kDeregister));
    EXPECT_THAT(FakeEvents(), ElementsAre(IsEvent(EVENTLOG_ERROR_TYPE, "ZYN_NT_Horavex2 error: 6",
                                                  "SetServiceStatus")));
    EXPECT_EQ(LastLoggedErrorCode(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // The refused report used its checkpoint all the same.
    EXPECT_EQ(g_status.checkpointCounter, 2u);
}

TEST_F(StatusReportTest, RefusedQueryIsLoggedWithTheRefusalsError)
{
    SetCurrentState(SERVICE_STOP_PENDING);
    g_fakeService.setStatusError = ERROR_ACCESS_DENIED;
    EXPECT_EQ(ReportCurrentState(), FALSE);
    EXPECT_THAT(FakeEvents(), ElementsAre(IsEvent(EVENTLOG_ERROR_TYPE, "ZYN_NT_Horavex2 error: 5",
                                                  "SetServiceStatus")));
    EXPECT_EQ(LastLoggedErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(StatusReportTest, ErrorEntryCarriesTheThreadsLastErrorAndTheMessage)
{
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    LogErrorEvent("SetLocalTime");
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Leave(), kRegister, kReport, kDeregister));
    EXPECT_THAT(FakeEvents(), ElementsAre(IsEvent(EVENTLOG_ERROR_TYPE, "ZYN_NT_Horavex2 error: 1314",
                                                  "SetLocalTime")));
    EXPECT_EQ(LastLoggedErrorCode(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

TEST_F(StatusReportTest, WithoutAnEventSourceTheCodeIsKeptAndNothingIsWritten)
{
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    g_fakeService.registerSourceError = 1722;  // RPC_S_SERVER_UNAVAILABLE: no event log service
    LogErrorEvent("SetLocalTime");
    EXPECT_THAT(g_fake.calls, ElementsAre(Enter(), Leave(), kRegister));
    EXPECT_THAT(FakeEvents(), IsEmpty());
    // The code is the one before the failed registration, not the registration's own.
    EXPECT_EQ(LastLoggedErrorCode(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

struct CodeCase {
    const char *name;
    DWORD code;
    const char *text;
};

void PrintTo(const CodeCase &c, std::ostream *os) { *os << c.name; }

class ErrorCodeTable : public StatusReportTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ErrorCodeTable, ShowsTheCodeAsSignedDecimal)
{
    SetLastError(GetParam().code);
    LogErrorEvent("ReadTime");
    EXPECT_THAT(FakeEvents(), ElementsAre(IsEvent(EVENTLOG_ERROR_TYPE, GetParam().text, "ReadTime")));
    EXPECT_EQ(LastLoggedErrorCode(), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorCodes, ErrorCodeTable,
    ::testing::Values(CodeCase{"Zero", 0, "ZYN_NT_Horavex2 error: 0"},
                      CodeCase{"Small", 5, "ZYN_NT_Horavex2 error: 5"},
                      CodeCase{"LargestPositive", 0x7FFFFFFF, "ZYN_NT_Horavex2 error: 2147483647"},
                      CodeCase{"LowestNegative", 0x80000000, "ZYN_NT_Horavex2 error: -2147483648"},
                      CodeCase{"AccessViolation", 0xC0000005, "ZYN_NT_Horavex2 error: -1073741819"},
                      CodeCase{"AllBits", 0xFFFFFFFF, "ZYN_NT_Horavex2 error: -1"}),
    [](const ::testing::TestParamInfo<CodeCase> &info) { return info.param.name; });

TEST_F(StatusReportTest, LongMessageGoesIntoTheEntryWhole)
{
    const std::string message(1000, 'm');
    SetLastError(ERROR_INVALID_PARAMETER);
    LogErrorEvent(message.c_str());
    EXPECT_THAT(FakeEvents(), ElementsAre(IsEvent(EVENTLOG_ERROR_TYPE, "ZYN_NT_Horavex2 error: 87", message)));
}

// In console mode there is no manager and no event log to talk to.
struct ConsoleCase {
    const char *name;
    BOOL (*report)();
};

void PrintTo(const ConsoleCase &c, std::ostream *os) { *os << c.name; }

class ConsoleStatusTable : public StatusReportTest, public ::testing::WithParamInterface<ConsoleCase> {};

TEST_P(ConsoleStatusTable, ReportSucceedsAndTouchesNothing)
{
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    const SERVICE_STATUS before = g_status.status;
    g_console.consoleMode = 1;
    g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
    FakeReset();
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(GetParam().report(), TRUE);
    EXPECT_THAT(g_fake.calls, IsEmpty());
    EXPECT_EQ(std::memcmp(&g_status.status, &before, sizeof before), 0);
    EXPECT_EQ(g_status.checkpointCounter, 2u);
    EXPECT_EQ(g_status.lastErrorCode, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

INSTANTIATE_TEST_SUITE_P(
    ConsoleStatus, ConsoleStatusTable,
    ::testing::Values(ConsoleCase{"StopPendingReport", [] { return ReportStatus(SERVICE_STOP_PENDING, 0, 5000); }},
                      ConsoleCase{"StoppedReport", [] { return ReportStatus(SERVICE_STOPPED, 1067, 0); }},
                      ConsoleCase{"CurrentStateReport", [] { return ReportCurrentState(); }}),
    [](const ::testing::TestParamInfo<ConsoleCase> &info) { return info.param.name; });

TEST_F(StatusReportTest, ConsoleModeLogsNothingAndKeepsNoCode)
{
    g_console.consoleMode = 1;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    LogErrorEvent("SetLocalTime");
    EXPECT_THAT(g_fake.calls, IsEmpty());
    EXPECT_THAT(FakeEvents(), IsEmpty());
    EXPECT_EQ(g_status.lastErrorCode, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD));
}

TEST_F(StatusReportTest, InitPutsAUsedRecordBackToItsStart)
{
    ReportStatus(SERVICE_START_PENDING, 0, 3000);
    g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
    ReportStatus(SERVICE_STOPPED, 1067, 0);
    EndStatusReporting();
    FakeReset();
    InitStatusReporting();
    EXPECT_THAT(g_fake.calls, ElementsAre("InitializeCriticalSection " + Pointer(&g_status.lock)));
    const SERVICE_STATUS start{SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&g_status.status, &start, sizeof start), 0);
    EXPECT_EQ(g_status.statusHandle, nullptr);
    EXPECT_EQ(g_status.checkpointCounter, 1u);
    EXPECT_EQ(LastLoggedErrorCode(), 0u);
}

TEST_F(StatusReportTest, ReportsGoThroughTheHandleLastSet)
{
    SetStatusHandle(reinterpret_cast<SERVICE_STATUS_HANDLE>(0x6262));
    ReportStatus(SERVICE_RUNNING, 0, 0);
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), ElementsAre("SetServiceStatus 0x6262 16 4 1 0 0 0 0"));
}

}  // namespace
