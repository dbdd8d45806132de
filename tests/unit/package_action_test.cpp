// The package's properties as `-load`'s arguments, `-load`'s defaults for those left out; the
// rest of the custom actions is shown under Wine (e2e_msi.sh).
#include "service/package_action.h"
#include <gtest/gtest.h>
#include <cstring>
#include "fake_platform.h"
#include "test_support.h"

namespace {
// A value's DWORD, or 0 when there is none (the program stores no 0 in these).
DWORD Stored(const char *name)
{
    const FakeRegistryValue *value = FakeRegistryGet("SYSTEM\\CurrentControlSet\\Services\\Vantrel", name);
    DWORD word = 0;
    if (value != nullptr && value->data.size() == 4)
        std::memcpy(&word, value->data.data(), 4);
    return word;
}

TEST(PackageProperties, StoreWhatLoadWouldWithItsDefaultsForThoseLeftOut)
{
    const struct {
        const char *data;  // TIMEBASE;SLOP;PRECISE;EDGEDELAY;program path
        DWORD word, discipline, edgeDelayUs;
    } cases[] = {{"L;abc;;;", 0x32, 0, 0}, {";;1;41.25;", 0x96, 1, 41250}, {"S;;0;41.25;", 0xFFFF0096, 0, 0}};
    for (const auto &c : cases) {
        ResetEverything();
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(CompletePackageInstall(c.data), 1) << c.data;
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(Stored("SvcInfo"), c.word) << c.data;
        EXPECT_EQ(Stored("Discipline"), c.discipline) << c.data;
        EXPECT_EQ(Stored("EdgeDelayUs"), c.edgeDelayUs) << c.data;
        EndEverything();
    }
}
}  // namespace
