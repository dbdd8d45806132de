// The settings word: building and storing it for `-load`, loading it for the worker.
#include "engine/settings_word.h"

#include <cstdlib>

#include "base/console_output.h"

SettingsState g_settings = {0, 150, 0};

const char kSettingsKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kSettingsValueName[] = "SvcInfo";

namespace {

const DWORD kUtcTimeBase = 0xFFFF0000;
const DWORD kSlopMask = 0x000000FF;
const LONG kDefaultSlopMs = 150;
const LONG kLeastSlopMs = 50;
const LONG kMostStoredSlopMs = 250;

// The decimal value of nnn: leading white space, one optional sign, then digits up to the
// first non-digit; 0 without digits. The whole argument is read, and a value too large
// for 64 bits saturates, so any length of digits ends up at one end of the clamp.
long long ParseDecimal(const char *text)
{
    return std::strtoll(text, nullptr, 10);
}

DWORD ClampStoredSlop(long long slopMs)
{
    if (slopMs > kMostStoredSlopMs)
        return kMostStoredSlopMs;
    if (slopMs < kLeastSlopMs)
        return kLeastSlopMs;
    return static_cast<DWORD>(slopMs);
}

LONG OpenSettingsKey(HKEY *key)
{
    DWORD disposition;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           NULL, key, &disposition);
}

// The registry answers with an error code, not with the last error: it is made the last
// error, so that the caller reads and shows it as every other failure.
int StoreFailed(LONG result, const char *call, const char **failedCall)
{
    SetLastError(static_cast<DWORD>(result));
    *failedCall = call;
    return 0;
}

}  // namespace

DWORD BuildSettingsWord(int argc, char **argv)
{
    DWORD word = 0;
    if (argc > 2 && argv[2][0] == 'S')
        word = kUtcTimeBase;
    if (argc <= 3)
        return word + kDefaultSlopMs;
    return word + ClampStoredSlop(ParseDecimal(argv[3]));
}

int StoreSettingsWord(int argc, char **argv, const char **failedCall)
{
    g_settings.settingsWord = BuildSettingsWord(argc, argv);
    HKEY key;
    const LONG opened = OpenSettingsKey(&key);
    if (opened != ERROR_SUCCESS)
        return StoreFailed(opened, "RegCreateKeyEx", failedCall);
    const LONG written = RegSetValueExA(key, kSettingsValueName, 0, REG_DWORD,
                                        reinterpret_cast<const BYTE *>(&g_settings.settingsWord),
                                        sizeof g_settings.settingsWord);
    RegCloseKey(key);
    return written == ERROR_SUCCESS ? 1 : StoreFailed(written, "RegSetValueEx", failedCall);
}

void LoadSettingsWord(void)
{
    g_settings.useUtc = 0;
    g_settings.slopMs = kDefaultSlopMs;
    HKEY key;
    if (OpenSettingsKey(&key) != ERROR_SUCCESS)
        return;
    // Data shorter than the word fills its low bytes; the rest stay 0.
    g_settings.settingsWord = 0;
    DWORD type;
    DWORD length = sizeof g_settings.settingsWord;
    const LONG queried = RegQueryValueExA(key, kSettingsValueName, NULL, &type,
                                          reinterpret_cast<BYTE *>(&g_settings.settingsWord), &length);
    ConsoleTrace("%Xh\n", static_cast<unsigned>(g_settings.settingsWord));
    RegCloseKey(key);
    if (queried != ERROR_SUCCESS)
        return;
    g_settings.slopMs = static_cast<LONG>(g_settings.settingsWord & kSlopMask);
    if (g_settings.slopMs < kLeastSlopMs)
        g_settings.slopMs = kLeastSlopMs;
    if (g_settings.settingsWord > 0xFFFF)
        g_settings.useUtc = 1;
}
