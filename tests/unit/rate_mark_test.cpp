// The mark of the program's own clock rate, and the publisher's fresh start that keeps it.
#include "engine/rate_mark.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/service_names.h"
#include "fake_platform.h"
#include "service/status_publish.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

const std::string kServiceKey = std::string("HKLM\\") + kServiceKeyPath;
const std::string kStatusKey = std::string("HKLM\\") + kStatusKeyPath;

struct MarkCase {
    const char *name;
    int installed, precise;
    ULONGLONG adjustment;
};

class RateMarkTest : public ::testing::TestWithParam<MarkCase> {
protected:
    void SetUp() override
    {
        ResetEverything();
        g_statusPublish = StatusPublishState{};
    }
    void TearDown() override { EndEverything(); }
    int Read() { return ReadOwnRateMark(&precise, &adjustment); }
    int precise = -1;
    ULONGLONG adjustment = 1;
};

TEST_P(RateMarkTest, MarkThenReadGivesItBackOnlyInsideTheServiceKey)
{
    const MarkCase &c = GetParam();
    if (c.installed)
        g_fake.registry[kServiceKey];
    MarkOwnRate(c.precise, c.adjustment);
    EXPECT_EQ(Read(), c.installed);
    EXPECT_EQ(precise, c.installed ? c.precise : 0);
    EXPECT_EQ(adjustment, c.installed ? c.adjustment : 0);
    EXPECT_EQ(g_fake.registry.size(), c.installed ? 2u : 0u);
    EXPECT_EQ(g_fake.openKeys, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RateMarkTest,
                         ::testing::Values(MarkCase{"PreciseAbove32Bits", 1, 1, 0x100000001ULL},
                                           MarkCase{"Legacy", 1, 0, 156250}, MarkCase{"NotInstalled", 0, 1, 5}),
                         [](const ::testing::TestParamInfo<MarkCase> &info) { return info.param.name; });

TEST_F(RateMarkTest, MarkMakesTheVolatileProtectedKeyInsideTheServiceKey)
{
    g_fake.registry[kServiceKey];
    MarkOwnRate(1, 7);
    EXPECT_THAT(CallsOnly({"RegOpenKeyExA", "RegCreateKeyExA"}),
                ElementsAre("RegOpenKeyExA " + kServiceKey + " 0 0x4",
                            "RegCreateKeyExA " + kStatusKey + " 0 (nil) 1 0x2 sd=" + kStatusKeySecurity));
}

TEST_F(RateMarkTest, ClearRemovesTheMarkAndAnUnknownCallWordIsNone)
{
    g_fake.registry[kServiceKey];
    MarkOwnRate(1, 7);
    ClearOwnRateMark();
    EXPECT_EQ(Read(), 0);
    EXPECT_TRUE(g_fake.registry[kStatusKey].empty());
    MarkOwnRate(1, 7);
    FakeRegistryPut(kStatusKeyPath, "OwnRateCall", REG_SZ, {'n', 't', 'p', 0});
    EXPECT_EQ(Read(), 0);
}

TEST_F(RateMarkTest, FirstPublicationStartsAfreshButKeepsTheMark)
{
    g_fake.registry[kServiceKey];
    MarkOwnRate(0, 156251);
    FakeRegistryPut(kStatusKeyPath, "OffsetMs", REG_SZ, {'1', 0});
    const WorkerStatus status{};
    PublishWorkerStatus(&status);
    EXPECT_EQ(FakeRegistryGet(kStatusKeyPath, "OffsetMs"), nullptr);
    EXPECT_EQ(Read(), 1);
    EXPECT_EQ(precise, 0);
    EXPECT_EQ(adjustment, 156251u);
}

}  // namespace
