// Fuzz target: loading the settings word from whatever the registry holds.
//
// Input:
//   byte     bit 0 the value exists; bit 1 the key cannot be opened (no access);
//            bit 2 console mode (the word's trace line)
//   4 bytes  the value's type, any number (REG_DWORD, REG_SZ, REG_BINARY, or none known)
//   byte     the value's length, byte % 65 (0 to 64)
//   rest     its bytes; those the input does not reach are 0
// LoadSettingsWord must give a slop of 50 to 255 ms and a time base of 0 or 1, and exactly
// what the loading rule gives, worked out here on its own: data of 4 bytes or fewer is the
// word, least significant byte first, bytes it does not cover 0; the slop is its low byte,
// at least 50; any bit in 16-31 means UTC. Longer data, no value, and no access to the
// key give 150 ms and local time. Loading never writes the value and closes the key.
#include <cstdint>
#include <vector>

#include "engine/settings_word.h"
#include "fake_platform.h"
#include "fuzz_support.h"
#include "base/console_output.h"

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kValue[] = "SvcInfo";
const std::size_t kLongestValue = 64;

struct Expected {
    DWORD word;
    LONG slopMs;
    int useUtc;
};

Expected ExpectedSettings(bool present, bool noAccess, const std::vector<BYTE> &data)
{
    if (!present || noAccess || data.size() > 4)
        return Expected{0, 150, 0};
    DWORD word = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        word |= static_cast<DWORD>(data[i]) << (8 * i);
    const LONG lowByte = static_cast<LONG>(word & 0xFF);
    return Expected{word, lowByte < 50 ? 50 : lowByte, (word >> 16) != 0 ? 1 : 0};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t setup = in.Byte();
    const bool present = setup & 1;
    const bool noAccess = setup & 2;
    const DWORD type = static_cast<DWORD>(in.Unsigned(4));
    std::vector<BYTE> value(in.Byte() % (kLongestValue + 1), 0);
    std::size_t taken = 0;
    const std::uint8_t *bytes = in.Bytes(value.size(), &taken);
    std::copy(bytes, bytes + taken, value.begin());

    FakeReset();
    // The process's values before a load: whatever they were, the load replaces them.
    g_settings = SettingsState{0xA5A5A5A5, 7, 1};
    g_console.consoleMode = (setup & 4) ? 1 : 0;
    if (present)
        FakeRegistryPut(kKey, kValue, type, value);
    if (noAccess)
        g_fake.createKeyError = ERROR_ACCESS_DENIED;

    LoadSettingsWord();

    const Expected expected = ExpectedSettings(present, noAccess, value);
    FUZZ_CHECK(g_settings.slopMs >= 50 && g_settings.slopMs <= 255);
    FUZZ_CHECK(g_settings.useUtc == 0 || g_settings.useUtc == 1);
    FUZZ_CHECK(g_settings.slopMs == expected.slopMs);
    FUZZ_CHECK(g_settings.useUtc == expected.useUtc);
    FUZZ_CHECK(g_fake.openKeys == 0);
    FUZZ_CHECK(FakeCallsNamed("RegSetValueExA").empty());
    // The word the trace line shows: as read, or 0 when there is no value.
    if (!noAccess && (!present || value.size() <= 4))
        FUZZ_CHECK(g_settings.settingsWord == expected.word);
    const FakeRegistryValue *after = FakeRegistryGet(kKey, kValue);
    if (present) {
        FUZZ_CHECK(after != nullptr);
        FUZZ_CHECK(after->type == type);
        FUZZ_CHECK(after->data == value);
    } else {
        FUZZ_CHECK(after == nullptr);
    }
    return 0;
}
