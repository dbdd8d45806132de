// The service entry and its control handler, with the worker on the fake platform.
#include "service/service_entry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "fake_service_control.h"
#include "service/status_report.h"
#include "test_support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";

std::string Report(int state, int accepted, int exitCode, int checkpoint, int hintMs, int specificCode = 0)
{
    return "SetServiceStatus 0x5e 16 " + std::to_string(state) + " " + std::to_string(accepted) + " " +
           std::to_string(exitCode) + " " + std::to_string(specificCode) + " " + std::to_string(checkpoint) + " " +
           std::to_string(hintMs);
}

class ServiceEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetEverything();
        FakeRegistryPut(kKey, "SvcInfo", REG_DWORD, {0x96, 0, 0, 0});
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
    }

    void TearDown() override { EndEverything(); }

    // The manager sends these controls, in order, just before the wait with this number.
    void ControlAtWait(int number, std::vector<DWORD> controls)
    {
        g_fakeKernel.onWait = [number, controls](int wait) {
            if (wait == number)
                for (DWORD control : controls)
                    g_fakeServiceControl.handler(control);
        };
    }

    void RunService()
    {
        char name[] = "ZYN_NT_Horavex2";
        char *argv[] = {name, NULL};
        ServiceEntry(1, argv);
    }

    // The reports, and the calls that show when they came, in order.
    std::vector<std::string> Timeline()
    {
        std::vector<std::string> kept;
        for (const std::string &call : g_fake.calls)
            for (const char *name : {"SetServiceStatus ", "WaitForSingleObject ", "SetEvent ", "Sleep "})
                if (call.rfind(name, 0) == 0)
                    kept.push_back(call);
        return kept;
    }
};

TEST_F(ServiceEntryTest, AStartAndAStopReportCheckpointsOneToSixThenStopped)
{
    ControlAtWait(3, {SERVICE_CONTROL_STOP});
    RunService();
    EXPECT_THAT(Timeline(),
                ElementsAre(Report(2, 0, 0, 1, 3000), Report(2, 0, 0, 2, 3000), Report(2, 0, 0, 3, 3000),
                            Report(2, 0, 0, 4, 3000), Report(2, 0, 0, 5, 3000), Report(4, 1, 0, 0, 0),
                            "WaitForSingleObject 0x100 51", "WaitForSingleObject 0x100 51",
                            "WaitForSingleObject 0x100 51", "SetEvent 0x100", Report(3, 1, 0, 6, 0), "Sleep 5000",
                            Report(1, 1, 0, 0, 0)));
    EXPECT_THAT(FakeCallsNamed("RegisterServiceCtrlHandlerA"), ElementsAre("RegisterServiceCtrlHandlerA ZYN_NT_Horavex2"));
}

TEST_F(ServiceEntryTest, ARegistrationFailureMakesNoReportAndRunsNoWorker)
{
    g_fakeServiceControl.registerHandlerError = ERROR_INVALID_NAME;
    RunService();
    EXPECT_THAT(CallsWithoutLocks(), ElementsAre("RegisterServiceCtrlHandlerA ZYN_NT_Horavex2"));
}

TEST_F(ServiceEntryTest, ARefusedFirstReportSkipsTheWorkerAndStopsWithItsError)
{
    g_fakeService.setStatusError = ERROR_INVALID_HANDLE;
    RunService();
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), ElementsAre(Report(2, 0, 0, 1, 3000), Report(1, 1, 6, 0, 0)));
    EXPECT_THAT(FakeCallsNamed("CreateEventA"), IsEmpty());
    EXPECT_THAT(FakeCallsNamed("RegCreateKeyExA"), IsEmpty());
    ASSERT_FALSE(FakeEvents().empty());
    EXPECT_THAT(FakeEvents()[0].strings, ElementsAre("ZYN_NT_Horavex2 error: 6", "SetServiceStatus"));
}

TEST_F(ServiceEntryTest, ARefusedReportDuringTheStartStopsWithThatError)
{
    auto reports = std::make_shared<int>(0);
    g_fake.onCall = [reports](const std::string &call) {
        if (call.rfind("SetServiceStatus", 0) == 0)
            g_fakeService.setStatusError = ++*reports == 3 ? ERROR_NOT_ENOUGH_MEMORY : 0;
    };
    RunService();
    EXPECT_EQ(FakeCallsNamed("SetServiceStatus").back(), Report(1, 1, 8, 0, 0));
    EXPECT_THAT(FakeCallsNamed("WaitForSingleObject"), IsEmpty());
}

// A start-up that gives up is a failure the manager records: ERROR_SERVICE_SPECIFIC_ERROR with
// the step's code (2: no board).
TEST_F(ServiceEntryTest, AWorkerThatFindsNoBoardStopsWithTheBoardsCode)
{
    g_fakeReader.boards.clear();
    RunService();
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"),
                ElementsAre(Report(2, 0, 0, 1, 3000), Report(2, 0, 0, 2, 3000), Report(2, 0, 0, 3, 7000),
                            Report(3, 1, 0, 4, 7000), Report(1, 1, ERROR_SERVICE_SPECIFIC_ERROR, 0, 0, 2)));
}

TEST_F(ServiceEntryTest, AQueryWhileRunningReReportsRunningWithoutUsingANumber)
{
    g_fakeKernel.onWait = [](int wait) {
        if (wait == 2)
            g_fakeServiceControl.handler(SERVICE_CONTROL_INTERROGATE);
        if (wait == 3)
            g_fakeServiceControl.handler(SERVICE_CONTROL_STOP);
    };
    RunService();
    const std::vector<std::string> reports = FakeCallsNamed("SetServiceStatus");
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[6], Report(4, 1, 0, 0, 0));
    EXPECT_EQ(reports[7], Report(3, 1, 0, 6, 0));
}

TEST_F(ServiceEntryTest, ASecondStopWhileStopPendingSignalsAgainAndTakesTheNextNumber)
{
    ControlAtWait(2, {SERVICE_CONTROL_STOP, SERVICE_CONTROL_STOP});
    RunService();
    EXPECT_THAT(FakeCallsNamed("SetEvent"), ElementsAre("SetEvent 0x100", "SetEvent 0x100"));
    const std::vector<std::string> reports = FakeCallsNamed("SetServiceStatus");
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[6], Report(3, 1, 0, 6, 0));
    EXPECT_EQ(reports[7], Report(3, 1, 0, 7, 0));
    EXPECT_EQ(reports[8], Report(1, 1, 0, 0, 0));
}

TEST_F(ServiceEntryTest, AnyOtherControlOnlyReportsTheCurrentState)
{
    g_fakeKernel.onWait = [](int wait) {
        if (wait == 2)
            g_fakeServiceControl.handler(0x80);  // a user-defined control
        if (wait == 3)
            g_fakeServiceControl.handler(SERVICE_CONTROL_STOP);
    };
    RunService();
    const std::vector<std::string> reports = FakeCallsNamed("SetServiceStatus");
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[6], Report(4, 1, 0, 0, 0));
    EXPECT_EQ(FakeCallsNamed("SetEvent").size(), 1u);
}

TEST_F(ServiceEntryTest, AStopAfterTheStoppedReportReportsNothing)
{
    g_fakeReader.boards.clear();
    RunService();
    g_fake.calls.clear();
    g_fakeServiceControl.handler(SERVICE_CONTROL_STOP);
    EXPECT_THAT(FakeCallsNamed("SetServiceStatus"), IsEmpty());
}

// Each thing the precise mode cannot do, and a rival time service, is a warning entry of its
// own, with its detail.
TEST_F(ServiceEntryTest, EachPreciseWarningWritesItsOwnWarningEntry)
{
    kServiceReporter.reportPreciseWarning(PRECISE_WARNING_NO_PRIVILEGE, "5");
    kServiceReporter.reportPreciseWarning(PRECISE_WARNING_LIMITED, "+620.0 ppm");
    kServiceReporter.reportPreciseWarning(PRECISE_WARNING_NO_RATE_CALL, NULL);
    kServiceReporter.reportPreciseWarning(PRECISE_WARNING_RIVAL_RATE, "+12.50 ppm");
    // Windows' time service: the policy's entry where Group Policy decides, else the local one.
    PeerVerdict verdict = {1, "NT5DS", PEER_FROM_POLICY, 1, PEER_FROM_DEFAULT, PEER_FROM_POLICY};
    kServiceReporter.reportTimeServicePeer(&verdict);
    verdict = PeerVerdict{1, "", PEER_FROM_DEFAULT, 1, PEER_FROM_DEFAULT, PEER_FROM_LOCAL};
    kServiceReporter.reportTimeServicePeer(&verdict);
    const std::vector<FakeEvent> events = FakeEvents();
    ASSERT_EQ(events.size(), 6u);
    const std::pair<DWORD, std::string> expected[] = {
        {0x80000007, "Access denied. (0x5)"}, {0x80000008, "+620.0 ppm"}, {0x80000009, ""}, {0x8000000A, "+12.50 ppm"},
        {0x8000000B, "NT5DS"},                {0x80000004, "not set"}};
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].type, EVENTLOG_WARNING_TYPE) << i;
        EXPECT_EQ(events[i].eventId, expected[i].first) << i;
        EXPECT_THAT(events[i].strings, ElementsAre(expected[i].second)) << i;
    }
}

}  // namespace
