// The published state as one record, and -status reading it: every field back as it went in
// and anything else refused; ages on the tick count, whatever the wall clock did; the
// manager's refusal in its own words.
#include "service/status_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/file_time.h"
#include "base/service_names.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_service_manager.h"
#include "service/status_command.h"
#include "service/status_publish.h"
#include "test_support.h"

namespace {

TEST(StatusRecordTest, EveryFieldComesBackAndAnythingButAWholeRecordIsRefused)
{
    StatusRecord in = {1, 80, 0x2E0, 0x01DB1234567890AB, 3600123, 1, 1000, 0x01DB12345000CD, 3599000, 7, 2000, -12,
                       4000000000u, 7, 3, 1, -0.214, 0.48, -19.2, 1.0, "monitoring", "unmeasured"};
    BYTE bytes[STATUS_RECORD_BYTES + 1];
    EncodeStatusRecord(in, bytes);
    StatusRecord out = {};
    ASSERT_EQ(DecodeStatusRecord(bytes, STATUS_RECORD_BYTES, &out), 1);
    BYTE again[STATUS_RECORD_BYTES];
    EncodeStatusRecord(out, again);
    EXPECT_EQ(std::memcmp(bytes, again, sizeof again), 0);
    EXPECT_EQ(out.lastOffsetMs, -12);
    EXPECT_EQ(out.comparisons, 4000000000u);
    EXPECT_EQ(out.lastCorrectionTickMs, 2000u);
    EXPECT_DOUBLE_EQ(out.ratePpm, -19.2);
    EXPECT_STREQ(out.state, "monitoring");
    EXPECT_STREQ(out.rateCall, "unmeasured");

    StatusRecord untouched = {};
    EXPECT_EQ(DecodeStatusRecord(bytes, STATUS_RECORD_BYTES - 1, &untouched), 0);
    EXPECT_EQ(DecodeStatusRecord(bytes, STATUS_RECORD_BYTES + 1, &untouched), 0);
    bytes[0] = STATUS_RECORD_VERSION + 1;
    EXPECT_EQ(DecodeStatusRecord(bytes, STATUS_RECORD_BYTES, &untouched), 0);
    bytes[0] = STATUS_RECORD_VERSION, bytes[4] = 0;
    EXPECT_EQ(DecodeStatusRecord(bytes, STATUS_RECORD_BYTES, &untouched), 0);
    EXPECT_EQ(untouched.comparisons, 0u);
}

class StatusCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEverything(); }
    void TearDown() override { EndEverything(); }

    static std::string Run(const char *form, int *exit)
    {
        ::testing::internal::CaptureStdout();
        *exit = RunStatusCommand(form);
        return ::testing::internal::GetCapturedStdout();
    }
};

// Published at tick 3,600,000 ms with the comparison a second before; then the wall clock is
// stepped back an hour and 2.5 s pass on the tick count.
TEST_F(StatusCommandTest, AgesComeFromTheTickCountWhateverTheWallClockDid)
{
    g_fakeServiceManager.installed = true;
    g_fakeServiceManager.queries.push_back({SERVICE_RUNNING, 0});
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    WorkerStatus status = {};
    status.familyCode = 1, status.boardAddress = 0x300;
    status.takenAt = FileTimeValue(now), status.takenTickMs = 3600000;
    status.lastComparisonAt = status.takenAt - 10000000, status.lastComparisonTickMs = 3599000;
    status.lastOffsetMs = -12;
    PublishWorkerStatus(&status);
    g_fake.systemTime.wHour -= 1;
    g_fakeKernel.tickCountMs = 3602500;

    int exit = -1;
    const std::string out = Run(NULL, &exit);
    EXPECT_NE(out.find("\nPublished: 2.5 s ago, stepped mode, board TAV at 0x300\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nLast comparison 3.5 s ago: computer 12 ms behind the board\n"), std::string::npos) << out;
    const FakeRegistryValue *offset = FakeRegistryGet(kStatusKeyPath, "LastOffsetMs");
    ASSERT_NE(offset, nullptr);
    EXPECT_EQ(offset->type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<const char *>(offset->data.data()), "-12");
}

TEST_F(StatusCommandTest, ARefusalIsPrintedInTheSystemsWordsAndAnUnknownFormIsRefused)
{
    g_fakeServiceManager.openManagerError = ERROR_ACCESS_DENIED;
    int exit = -1;
    const std::string out = Run(NULL, &exit);
    EXPECT_EQ(exit, 3);
    EXPECT_EQ(out.substr(0, out.find('\n')),
              "ZYN NT Horavex Service2 (ZYN_NT_Horavex2): OpenSCManager failed - Access denied. (0x5)");
    EXPECT_NE(out.find("\nStatus: 3 UNKNOWN, the state could not be read\n"), std::string::npos) << out;

    EXPECT_EQ(Run("xml", &exit), "-status prints text, json or prometheus, not: xml\n");
    EXPECT_EQ(exit, 3);
}

}  // namespace
