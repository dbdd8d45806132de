// Recording fake of the Win32 subset: errors, pauses, beeps, clocks, token, registry.
#include "fake_platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

FakeState g_fake;

namespace {

std::mutex g_recordMutex;
thread_local DWORD t_lastError = 0;

// Open registry keys: fake handle value to key path.
std::map<std::uintptr_t, std::string> g_keyHandles;
std::uintptr_t g_nextKeyHandle = 0x1000;

const std::int64_t kFileTimeUnitsPerMs = 10000;
const std::int64_t kMsPerDay = 86400000;

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFrom1601(int year, int month, int day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t daysFrom1970 = era * 146097 + dayOfEra - 719468;
    return daysFrom1970 + 134774;
}

void CivilFromDays1601(std::int64_t days, int *year, int *month, int *day)
{
    const std::int64_t z = days - 134774 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValidTime(const SYSTEMTIME &t)
{
    return t.wYear >= 1601 && t.wYear <= 30827 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
           t.wMilliseconds < 1000;
}

BOOL SetClock(const char *name, SYSTEMTIME *clock, DWORD forcedError, const SYSTEMTIME *time)
{
    FakeRecord("%s %s", name, FakeFormatTime(*time).c_str());
    DWORD error = forcedError;
    if (error == 0 && !g_fake.privilegeEnabled)
        error = ERROR_PRIVILEGE_NOT_HELD;
    if (error == 0 && !IsValidTime(*time))
        error = ERROR_INVALID_PARAMETER;
    if (error != 0) {
        t_lastError = error;
        return FALSE;
    }
    *clock = *time;
    return TRUE;
}

std::string KeyPath(HKEY root, LPCSTR subKey)
{
    std::string path = root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKEY?";
    return path + "\\" + (subKey ? subKey : "");
}

}  // namespace

void FakeReset()
{
    std::lock_guard<std::mutex> lock(g_recordMutex);
    g_fake = FakeState{};
    g_keyHandles.clear();
    t_lastError = 0;
}

void FakeRecord(const char *format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::function<void(const std::string &)> onCall;
    {
        std::lock_guard<std::mutex> lock(g_recordMutex);
        g_fake.calls.push_back(line);
        onCall = g_fake.onCall;
    }
    if (onCall)
        onCall(line);
}

std::vector<std::string> FakeCallsNamed(const std::string &name)
{
    std::vector<std::string> found;
    std::lock_guard<std::mutex> lock(g_recordMutex);
    for (const std::string &call : g_fake.calls)
        if (call.compare(0, name.size(), name) == 0 && (call.size() == name.size() || call[name.size()] == ' '))
            found.push_back(call);
    return found;
}

std::string FakeFormatTime(const SYSTEMTIME &t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

SYSTEMTIME FakeTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    // 1601-01-01 was a Monday.
    const std::int64_t days = DaysFrom1601(year, month, day);
    SYSTEMTIME t;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(millisecond);
    return t;
}

const FakeRegistryValue *FakeRegistryGet(const std::string &subKey, const std::string &name)
{
    auto key = g_fake.registry.find("HKLM\\" + subKey);
    if (key == g_fake.registry.end())
        return nullptr;
    auto value = key->second.find(name);
    return value == key->second.end() ? nullptr : &value->second;
}

void FakeRegistryPut(const std::string &subKey, const std::string &name, DWORD type,
                     const std::vector<BYTE> &data)
{
    g_fake.registry["HKLM\\" + subKey][name] = FakeRegistryValue{type, data};
}

// ---- kernel32: errors, pauses ----

DWORD WINAPI GetLastError(void) { return t_lastError; }

void WINAPI SetLastError(DWORD errorCode) { t_lastError = errorCode; }

void WINAPI Sleep(DWORD milliseconds) { FakeRecord("Sleep %u", milliseconds); }

BOOL WINAPI MessageBeep(UINT type)
{
    FakeRecord("MessageBeep %u", type);
    return TRUE;
}

// ---- kernel32: clocks ----

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    FakeRecord("GetLocalTime");
    *time = g_fake.localTime;
}

void WINAPI GetSystemTime(LPSYSTEMTIME time)
{
    FakeRecord("GetSystemTime");
    *time = g_fake.systemTime;
}

BOOL WINAPI SetLocalTime(const SYSTEMTIME *time)
{
    return SetClock("SetLocalTime", &g_fake.localTime, g_fake.setLocalTimeError, time);
}

BOOL WINAPI SetSystemTime(const SYSTEMTIME *time)
{
    return SetClock("SetSystemTime", &g_fake.systemTime, g_fake.setSystemTimeError, time);
}

// Conversions are pure arithmetic and are not recorded.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime)
{
    if (!IsValidTime(*systemTime)) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const std::int64_t ms = DaysFrom1601(systemTime->wYear, systemTime->wMonth, systemTime->wDay) * kMsPerDay +
                            ((systemTime->wHour * 60 + systemTime->wMinute) * 60 + systemTime->wSecond) * 1000 +
                            systemTime->wMilliseconds;
    ULARGE_INTEGER units;
    units.QuadPart = static_cast<std::uint64_t>(ms * kFileTimeUnitsPerMs);
    fileTime->dwLowDateTime = units.LowPart;
    fileTime->dwHighDateTime = units.HighPart;
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime)
{
    ULARGE_INTEGER units;
    units.LowPart = fileTime->dwLowDateTime;
    units.HighPart = fileTime->dwHighDateTime;
    if (units.QuadPart >= 0x8000000000000000ULL) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const std::int64_t ms = static_cast<std::int64_t>(units.QuadPart) / kFileTimeUnitsPerMs;
    const std::int64_t days = ms / kMsPerDay;
    const std::int64_t msOfDay = ms % kMsPerDay;
    int year, month, day;
    CivilFromDays1601(days, &year, &month, &day);
    *systemTime = FakeTime(year, month, day, static_cast<int>(msOfDay / 3600000),
                           static_cast<int>(msOfDay / 60000 % 60), static_cast<int>(msOfDay / 1000 % 60),
                           static_cast<int>(msOfDay % 1000));
    return TRUE;
}

// ---- advapi32: token privileges ----

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    if (disableAllPrivileges) {
        FakeRecord("AdjustTokenPrivileges %p disable-all %p %u %p %p", token, static_cast<void *>(newState),
                   bufferLength, static_cast<void *>(previousState), static_cast<void *>(returnLength));
        if (g_fake.adjustDisableError != 0) {
            t_lastError = g_fake.adjustDisableError;
            return FALSE;
        }
        g_fake.privilegeEnabled = false;
        t_lastError = ERROR_SUCCESS;
        return TRUE;
    }
    const LUID_AND_ATTRIBUTES &entry = newState->Privileges[0];
    FakeRecord("AdjustTokenPrivileges %p enable count=%u luid=%u:%d attributes=%u %u %p %p", token,
               newState->PrivilegeCount, entry.Luid.LowPart, entry.Luid.HighPart, entry.Attributes, bufferLength,
               static_cast<void *>(previousState), static_cast<void *>(returnLength));
    if (g_fake.adjustEnableError != 0) {
        t_lastError = g_fake.adjustEnableError;
        return FALSE;
    }
    if (!g_fake.privilegeHeld) {
        t_lastError = ERROR_NOT_ALL_ASSIGNED;
        return TRUE;
    }
    g_fake.privilegeEnabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    t_lastError = ERROR_SUCCESS;
    return TRUE;
}

// ---- advapi32: registry ----

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM desired, LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                            LPDWORD disposition)
{
    const std::string path = KeyPath(key, subKey);
    FakeRecord("RegCreateKeyExA %s %u %p %u 0x%x %p", path.c_str(), reserved, static_cast<void *>(keyClass),
               options, desired, static_cast<void *>(securityAttributes));
    if (g_fake.createKeyError != 0)
        return g_fake.createKeyError;
    const bool existed = g_fake.registry.count(path) != 0;
    g_fake.registry[path];
    const std::uintptr_t handle = g_nextKeyHandle++;
    g_keyHandles[handle] = path;
    ++g_fake.openKeys;
    *result = reinterpret_cast<HKEY>(handle);
    if (disposition)
        *disposition = existed ? 2 : 1;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE *data,
                           DWORD dataLength)
{
    auto open = g_keyHandles.find(reinterpret_cast<std::uintptr_t>(key));
    FakeRecord("RegSetValueExA %s %u %u %u", valueName, reserved, type, dataLength);
    if (open == g_keyHandles.end())
        return ERROR_INVALID_HANDLE;
    if (g_fake.setValueError != 0)
        return g_fake.setValueError;
    g_fake.registry[open->second][valueName] = FakeRegistryValue{type, std::vector<BYTE>(data, data + dataLength)};
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD dataLength)
{
    auto open = g_keyHandles.find(reinterpret_cast<std::uintptr_t>(key));
    FakeRecord("RegQueryValueExA %s %p %u", valueName, static_cast<void *>(reserved),
               dataLength ? *dataLength : 0);
    if (open == g_keyHandles.end())
        return ERROR_INVALID_HANDLE;
    auto &values = g_fake.registry[open->second];
    auto value = values.find(valueName);
    if (value == values.end())
        return ERROR_FILE_NOT_FOUND;
    const DWORD size = static_cast<DWORD>(value->second.data.size());
    if (type)
        *type = value->second.type;
    if (data && size > *dataLength) {
        *dataLength = size;
        return ERROR_MORE_DATA;
    }
    if (data && size)
        std::memcpy(data, value->second.data.data(), size);
    *dataLength = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    FakeRecord("RegCloseKey");
    if (g_keyHandles.erase(reinterpret_cast<std::uintptr_t>(key)) == 0)
        return ERROR_INVALID_HANDLE;
    --g_fake.openKeys;
    return ERROR_SUCCESS;
}
