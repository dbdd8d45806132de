// Status reports from the service thread and the control thread at the same moment.
//
// Each report must go out with its own fields and a checkpoint no other report has. Run
// these under the host-tsan preset too: a field touched outside the lock is then a failure
// even when no torn record happens to be seen.
#include "service/status_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "fake_platform.h"
#include "fake_service.h"
#include "base/console_output.h"

namespace {

const SERVICE_STATUS_HANDLE kHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
const int kReportsPerThread = 20000;

struct SentStatus {
    DWORD type;
    DWORD state;
    DWORD accepted;
    DWORD exitCode;
    DWORD specific;
    DWORD checkpoint;
    DWORD waitHint;
};

bool IsSent(const std::string &line) { return line.compare(0, 17, "SetServiceStatus ") == 0; }

SentStatus Parse(const std::string &line)
{
    SentStatus s{};
    void *handle = nullptr;
    EXPECT_EQ(std::sscanf(line.c_str(), "SetServiceStatus %p %u %u %u %u %u %u %u", &handle, &s.type, &s.state,
                          &s.accepted, &s.exitCode, &s.specific, &s.checkpoint, &s.waitHint),
              8)
        << line;
    EXPECT_EQ(handle, static_cast<void *>(kHandle)) << line;
    EXPECT_EQ(s.type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS)) << line;
    EXPECT_EQ(s.specific, 0u) << line;
    EXPECT_EQ(s.accepted, s.state == SERVICE_START_PENDING ? 0u : static_cast<DWORD>(SERVICE_ACCEPT_STOP)) << line;
    return s;
}

std::string Pointer(const void *pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

// Runs both loops on threads of their own, released together.
void RunTogether(void (*first)(), void (*second)())
{
    std::promise<void> go;
    std::shared_future<void> start = go.get_future().share();
    std::thread a([start, first] {
        start.wait();
        first();
    });
    std::thread b([start, second] {
        start.wait();
        second();
    });
    go.set_value();
    a.join();
    b.join();
}

class StatusReportConcurrencyTest : public ::testing::Test {
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

    // Every report was sent while the lock was held, with nothing else in between.
    void ExpectEachReportInsideTheLock()
    {
        const std::string enter = "EnterCriticalSection " + Pointer(&g_status.lock);
        const std::string leave = "LeaveCriticalSection " + Pointer(&g_status.lock);
        const std::vector<std::string> &calls = g_fake.calls;
        for (size_t i = 0; i < calls.size(); ++i) {
            if (!IsSent(calls[i]))
                continue;
            ASSERT_GT(i, 0u);
            ASSERT_LT(i + 1, calls.size());
            ASSERT_EQ(calls[i - 1], enter) << "report " << i;
            ASSERT_EQ(calls[i + 1], leave) << "report " << i;
        }
    }

    void ExpectCheckpointsOneToN(std::vector<DWORD> checkpoints)
    {
        std::sort(checkpoints.begin(), checkpoints.end());
        std::vector<DWORD> expected(checkpoints.size());
        std::iota(expected.begin(), expected.end(), 1u);
        EXPECT_TRUE(checkpoints == expected) << "checkpoints repeat or skip a number";
        EXPECT_EQ(g_status.checkpointCounter, checkpoints.size() + 1);
    }
};

const DWORD kStartHint = 3000;
const DWORD kStopHint = 5000;
const DWORD kStopExitCode = 1067;

void ReportStarting()
{
    for (int i = 0; i < kReportsPerThread; ++i)
        ReportStatus(SERVICE_START_PENDING, 0, kStartHint);
}

void ReportStopping()
{
    for (int i = 0; i < kReportsPerThread; ++i)
        ReportStatus(SERVICE_STOP_PENDING, kStopExitCode, kStopHint);
}

void QueryCurrentState()
{
    for (int i = 0; i < kReportsPerThread; ++i)
        ReportCurrentState();
}

// The service thread moves between the two pending states, each with its own hint.
void AlternatePendingStates()
{
    for (int i = 0; i < kReportsPerThread; ++i) {
        if (i % 2 == 0)
            ReportStatus(SERVICE_STOP_PENDING, 0, kStopHint);
        else
            ReportStatus(SERVICE_START_PENDING, 0, kStartHint);
    }
}

TEST_F(StatusReportConcurrencyTest, TwoReportersNeverShareARecordOrACheckpoint)
{
    RunTogether(ReportStarting, ReportStopping);

    ExpectEachReportInsideTheLock();
    int starting = 0;
    int stopping = 0;
    std::vector<DWORD> checkpoints;
    for (const std::string &line : FakeCallsNamed("SetServiceStatus")) {
        const SentStatus s = Parse(line);
        if (s.state == SERVICE_START_PENDING) {
            ++starting;
            EXPECT_EQ(s.exitCode, 0u) << line;
            EXPECT_EQ(s.waitHint, kStartHint) << line;
        } else {
            ++stopping;
            EXPECT_EQ(s.state, static_cast<DWORD>(SERVICE_STOP_PENDING)) << line;
            EXPECT_EQ(s.exitCode, kStopExitCode) << line;
            EXPECT_EQ(s.waitHint, kStopHint) << line;
        }
        checkpoints.push_back(s.checkpoint);
    }
    EXPECT_EQ(starting, kReportsPerThread);
    EXPECT_EQ(stopping, kReportsPerThread);
    ExpectCheckpointsOneToN(checkpoints);
    EXPECT_THAT(FakeEvents(), ::testing::IsEmpty());
}

TEST_F(StatusReportConcurrencyTest, QueriesAnswerWithTheStateLastSent)
{
    SetCurrentState(SERVICE_START_PENDING);
    FakeReset();
    RunTogether(AlternatePendingStates, QueryCurrentState);

    ExpectEachReportInsideTheLock();
    DWORD lastState = SERVICE_START_PENDING;
    int queries = 0;
    std::vector<DWORD> checkpoints;
    for (const std::string &line : FakeCallsNamed("SetServiceStatus")) {
        const SentStatus s = Parse(line);
        if (s.waitHint == 0) {
            ++queries;
            EXPECT_EQ(s.state, lastState) << line;
            EXPECT_EQ(s.exitCode, 0u) << line;
        } else {
            EXPECT_EQ(s.waitHint, s.state == SERVICE_START_PENDING ? kStartHint : kStopHint) << line;
        }
        lastState = s.state;
        checkpoints.push_back(s.checkpoint);
    }
    EXPECT_EQ(queries, kReportsPerThread);
    EXPECT_EQ(checkpoints.size(), 2u * kReportsPerThread);
    ExpectCheckpointsOneToN(checkpoints);
}

}  // namespace
