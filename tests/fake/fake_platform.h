// Recording fake of the Win32 subset declared by tests/host_include/windows.h.
//
// Every platform call appends one line to g_fake.calls ("Name arg arg ..."), so a test
// asserts the exact calls and their order. Nothing sleeps or waits for real. Each test
// starts from FakeReset(), which puts the whole record back to its defaults.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct FakeRegistryValue {
    DWORD type;
    std::vector<BYTE> data;
};

struct FakeState {
    std::vector<std::string> calls;

    // Called after each recorded call with its line, outside the fake's locks: a test acts
    // here as another thread would at that moment (a stop request during start-up).
    std::function<void(const std::string &)> onCall;

    // Computer clocks. A set call fails with its error when that is non-zero, fails with
    // ERROR_PRIVILEGE_NOT_HELD unless the clock privilege is enabled, and with
    // ERROR_INVALID_PARAMETER for a time that is not a valid date and time of day.
    SYSTEMTIME localTime{2026, 3, 0, 1, 12, 0, 0, 0};
    SYSTEMTIME systemTime{2026, 3, 0, 1, 11, 0, 0, 0};
    DWORD setLocalTimeError = 0;
    DWORD setSystemTimeError = 0;

    // Daylight saving: local time's offset from UTC changes at one moment. While the zone is
    // on, systemTime is the one clock, GetLocalTime adds the offset in force, and SetLocalTime
    // takes off the offset in force before the change, not the one of the new time, as
    // Windows does.
    struct Zone {
        bool on = false;
        SYSTEMTIME changeUtc{};
        LONG offsetBeforeMinutes = 60;
        LONG offsetAfterMinutes = 120;
    } zone;

    // The process token's clock privilege. Enabling a privilege that is not held leaves
    // ERROR_NOT_ALL_ASSIGNED, as the platform does. The forced errors make the call fail.
    bool privilegeHeld = true;
    bool privilegeEnabled = false;
    DWORD adjustEnableError = 0;
    DWORD adjustDisableError = 0;

    // The system's time adjustment, legacy units: unreadable, or in force (not disabled) with
    // its value. Sets are recorded and take effect unless `ignoreSets`.
    struct Adjustment {
        bool readable = false;
        BOOL disabled = TRUE;
        DWORD adjustment = 156250;
        DWORD increment = 156250;
        bool ignoreSets = false;
    } timeAdjustment;

    // Registry: full key path ("HKLM\\...") to its values. Keys are created on demand.
    std::map<std::string, std::map<std::string, FakeRegistryValue>> registry;
    LONG createKeyError = 0;
    LONG setValueError = 0;
    LONG deleteKeyError = 0;
    int openKeys = 0;
};

extern FakeState g_fake;

void FakeReset();

// Appends one formatted line to g_fake.calls.
void FakeRecord(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The recorded calls whose line starts with the given name, in order.
std::vector<std::string> FakeCallsNamed(const std::string &name);

// Formats a SYSTEMTIME as "YYYY-MM-DD hh:mm:ss.mmm", the form the clock calls record.
std::string FakeFormatTime(const SYSTEMTIME &time);

// Builds a SYSTEMTIME with a correct day of the week.
SYSTEMTIME FakeTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// The value of HKLM\<subKey>\<name>, or nullptr when there is none.
const FakeRegistryValue *FakeRegistryGet(const std::string &subKey, const std::string &name);
void FakeRegistryPut(const std::string &subKey, const std::string &name, DWORD type,
                     const std::vector<BYTE> &data);
