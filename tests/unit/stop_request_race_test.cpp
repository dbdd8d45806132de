// A stop request racing the worker's creation and closing of the stop event.
#include "engine/stop_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fake_kernel.h"
#include "fake_platform.h"
#include "test_support.h"

namespace {

class StopRequestRaceTest : public ::testing::Test {
protected:
    void SetUp() override { ResetEverything(); }
    void TearDown() override { EndEverything(); }
};

// One thread opens and closes the event over and over, as worker lives would; the other
// keeps asking for a stop. No request may reach a handle that is closed or being closed.
TEST_F(StopRequestRaceTest, ARequestNeverSignalsAClosedHandle)
{
    const int kLives = 20000;
    std::atomic<bool> done{false};
    std::thread requester([&done] {
        while (!done.load())
            RequestStop();
    });
    for (int life = 0; life < kLives; ++life) {
        ASSERT_TRUE(CreateStopEvent());
        CloseStopEvent();
    }
    done.store(true);
    requester.join();

    EXPECT_EQ(g_fakeKernel.deadHandleUses, 0);
    EXPECT_EQ(FakeOpenHandles(), 0);
    EXPECT_EQ(FakeCallsNamed("CloseHandle").size(), static_cast<size_t>(kLives));
    EXPECT_EQ(g_stopRequest.stopEvent, nullptr);
}

TEST_F(StopRequestRaceTest, RepeatedRequestsKeepTheEventSignalled)
{
    ASSERT_TRUE(CreateStopEvent());
    RequestStop();
    RequestStop();
    EXPECT_EQ(WaitForSingleObject(g_stopRequest.stopEvent, 51), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(g_stopRequest.stopEvent, 51), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseStopEvent();
    EXPECT_EQ(g_fakeKernel.deadHandleUses, 0);
}

}  // namespace
