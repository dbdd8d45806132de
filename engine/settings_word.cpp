// The settings word: building and storing it for `-load`, loading it for the worker.
#include "engine/settings_word.h"

#include <cstdlib>

#include "base/ascii_text.h"
#include "base/console_output.h"
#include "engine/board_delay_rule.h"

SettingsState g_settings = {0, 150, 0, 0};

const char kSettingsKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const char kSettingsValueName[] = "SvcInfo";
const char kDisciplineValueName[] = "Discipline";
const char kEdgeDelayValueName[] = "EdgeDelayUs";

namespace {

const DWORD kUtcTimeBase = 0xFFFF0000;
const DWORD kSlopMask = 0x000000FF;
const LONG kDefaultSlopMs = 150;
const LONG kLeastSlopMs = 50;
const LONG kMostStoredSlopMs = 250;
const DWORD kPreciseDiscipline = 1;

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

// Discipline = 1 for the precise mode, EdgeDelayUs for its delay; otherwise no value at all, so
// that the key holds just what it held before the mode existed.
LONG StoreOrDelete(HKEY key, const char *name, int store, DWORD value, const char **call)
{
    if (store) {
        *call = "RegSetValueEx";
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    }
    *call = "RegDeleteValue";
    const LONG deleted = RegDeleteValueA(key, name);
    return deleted == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : deleted;
}

// A REG_DWORD's value; 0 for anything else, which counts as no value.
DWORD LoadDword(HKEY key, const char *name)
{
    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD length = sizeof value;
    const LONG queried = RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE *>(&value), &length);
    return queried == ERROR_SUCCESS && type == REG_DWORD && length == sizeof value ? value : 0;
}

// As LoadDword, with read access only.
DWORD ReadStoredDword(const char *name)
{
    DWORD value = 0;
    DWORD length = sizeof value;
    const LONG read = RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, name, RRF_RT_REG_DWORD, NULL, &value, &length);
    return read == ERROR_SUCCESS ? value : 0;
}

// The slop (at least 50 ms) and the time base (any of bits 16-31) of a word that was read.
void DecodeSettingsWord(SettingsState *settings)
{
    settings->slopMs = static_cast<LONG>(settings->settingsWord & kSlopMask);
    if (settings->slopMs < kLeastSlopMs)
        settings->slopMs = kLeastSlopMs;
    settings->useUtc = settings->settingsWord > 0xFFFF;
}

// 1 when `-load`'s fourth argument, argv[4], is "precise" in any case.
int WantsPreciseMode(int argc, char **argv) { return argc > 4 && EqualsIgnoringCase(argv[4], "precise"); }

// 1 when the precise mode's delay, argv[5], is given and taken, with *delayUs.
int GivenBoardDelay(int argc, char **argv, LONG *delayUs)
{
    return WantsPreciseMode(argc, argv) && argc > 5 && ParseBoardDelay(argv[5], delayUs);
}

}  // namespace

const char *RefusedBoardDelay(int argc, char **argv)
{
    LONG delayUs;
    return WantsPreciseMode(argc, argv) && argc > 5 && !ParseBoardDelay(argv[5], &delayUs) ? argv[5] : NULL;
}

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
    const char *call = "RegSetValueEx";
    LONG written = RegSetValueExA(key, kSettingsValueName, 0, REG_DWORD,
                                  reinterpret_cast<const BYTE *>(&g_settings.settingsWord),
                                  sizeof g_settings.settingsWord);
    if (written == ERROR_SUCCESS)
        written = StoreOrDelete(key, kDisciplineValueName, WantsPreciseMode(argc, argv), kPreciseDiscipline, &call);
    LONG delayUs = 0;
    const int delayGiven = GivenBoardDelay(argc, argv, &delayUs);
    if (written == ERROR_SUCCESS)
        written = StoreOrDelete(key, kEdgeDelayValueName, delayGiven, static_cast<DWORD>(delayUs), &call);
    RegCloseKey(key);
    return written == ERROR_SUCCESS ? 1 : StoreFailed(written, call, failedCall);
}

void LoadSettingsWord(void)
{
    g_settings.useUtc = 0;
    g_settings.slopMs = kDefaultSlopMs;
    g_settings.precise = 0;
    g_settings.edgeDelayUs = 0;
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
    // Only a Discipline of exactly 1: anything else keeps the clock as it was always kept.
    g_settings.precise = LoadDword(key, kDisciplineValueName) == kPreciseDiscipline;
    g_settings.edgeDelayUs = static_cast<LONG>(LoadDword(key, kEdgeDelayValueName));
    RegCloseKey(key);
    if (queried == ERROR_SUCCESS)
        DecodeSettingsWord(&g_settings);
}

void ReadStoredSettings(SettingsState *settings)
{
    *settings = SettingsState{0, kDefaultSlopMs, 0, 0, 0};
    DWORD type;
    DWORD length = sizeof settings->settingsWord;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsValueName, RRF_RT_ANY, &type,
                     &settings->settingsWord, &length) == ERROR_SUCCESS)
        DecodeSettingsWord(settings);
    settings->precise = ReadStoredDword(kDisciplineValueName) == kPreciseDiscipline;
    settings->edgeDelayUs = static_cast<LONG>(ReadStoredDword(kEdgeDelayValueName));
}
