// Recording fake of the Win32 subset: errors, pauses, beeps, clocks, token, registry.
#include "fake_platform.h"

#include "fake_kernel.h"

#include "civil_time.h"

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

// The forced error is read after the call is recorded, so that a test can make one call of
// several fail from onCall.
BOOL SetClock(const char *name, SYSTEMTIME *clock, const DWORD *forcedError, const SYSTEMTIME *time)
{
    FakeRecord("%s %s", name, FakeFormatTime(*time).c_str());
    DWORD error = *forcedError;
    if (error == 0 && !g_fake.privilegeEnabled)
        error = ERROR_PRIVILEGE_NOT_HELD;
    if (error == 0 && !CivilIsValid(*time))
        error = ERROR_INVALID_PARAMETER;
    if (error != 0) {
        t_lastError = error;
        return FALSE;
    }
    *clock = *time;
    return TRUE;
}

// The RRF_RT_ flag of a value type: one bit per type up to REG_DWORD, then the multi-string's
// and the QWORD's, which are not at their types' bits.
DWORD RestrictFlag(DWORD type)
{
    if (type <= REG_DWORD)
        return 1u << type;
    return type == REG_MULTI_SZ ? 0x20 : type == REG_QWORD ? RRF_RT_REG_QWORD : 0;
}

// A sub-key of HKLM or of a key open in the fake.
std::string KeyPath(HKEY root, LPCSTR subKey)
{
    auto open = g_keyHandles.find(reinterpret_cast<std::uintptr_t>(root));
    std::string path = root == HKEY_LOCAL_MACHINE ? "HKLM" : open != g_keyHandles.end() ? open->second : "HKEY?";
    return path + "\\" + (subKey ? subKey : "");
}

HKEY OpenKeyHandle(const std::string &path)
{
    const std::uintptr_t handle = g_nextKeyHandle++;
    g_keyHandles[handle] = path;
    ++g_fake.openKeys;
    return reinterpret_cast<HKEY>(handle);
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
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(millisecond);
    // The round trip fills in the day of the week.
    return CivilTimeFromMs(CivilMsFrom1601(t));
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

std::int64_t ZoneOffsetMs(const SYSTEMTIME &utc)
{
    const LONG minutes = CivilMsFrom1601(utc) < CivilMsFrom1601(g_fake.zone.changeUtc)
                             ? g_fake.zone.offsetBeforeMinutes
                             : g_fake.zone.offsetAfterMinutes;
    return static_cast<std::int64_t>(minutes) * 60000;
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    FakeRecord("GetLocalTime");
    if (g_fake.zone.on)
        g_fake.localTime = CivilTimeFromMs(CivilMsFrom1601(g_fake.systemTime) + ZoneOffsetMs(g_fake.systemTime));
    *time = g_fake.localTime;
}

void WINAPI GetSystemTime(LPSYSTEMTIME time)
{
    FakeRecord("GetSystemTime");
    *time = g_fake.systemTime;
}

// The precise mode's calls, linked but not exercised: its rules are proven by the clock
// simulation (tests/simulation) and under Wine. The counter runs with the tick count.
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency) { frequency->QuadPart = 10000000; return TRUE; }
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count) { count->QuadPart = GetTickCount64() * 10000; return TRUE; }
void WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME time) { CivilToFileTime(g_fake.systemTime, time); }
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *, LPFILETIME) { return FALSE; }
BOOL WINAPI GetSystemTimeAdjustment(PDWORD adjustment, PDWORD increment, PBOOL disabled)
{
    const FakeState::Adjustment &a = g_fake.timeAdjustment;
    *adjustment = a.adjustment;
    *increment = a.increment;
    *disabled = a.disabled;
    return a.readable;
}

BOOL WINAPI SetSystemTimeAdjustment(DWORD adjustment, BOOL disabled)
{
    FakeRecord("SetSystemTimeAdjustment %lu %d", static_cast<unsigned long>(adjustment), disabled);
    FakeState::Adjustment &a = g_fake.timeAdjustment;
    if (!a.ignoreSets) {
        a.disabled = disabled;
        a.adjustment = disabled ? a.increment : adjustment;
    }
    return TRUE;
}

BOOL WINAPI SetLocalTime(const SYSTEMTIME *time)
{
    if (!SetClock("SetLocalTime", &g_fake.localTime, &g_fake.setLocalTimeError, time))
        return FALSE;
    if (g_fake.zone.on)
        g_fake.systemTime = CivilTimeFromMs(CivilMsFrom1601(*time) - ZoneOffsetMs(g_fake.systemTime));
    return TRUE;
}

BOOL WINAPI SetSystemTime(const SYSTEMTIME *time)
{
    return SetClock("SetSystemTime", &g_fake.systemTime, &g_fake.setSystemTimeError, time);
}

// Conversions are pure arithmetic and are not recorded.
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime)
{
    if (!CivilToFileTime(*systemTime, fileTime)) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime)
{
    if (!CivilFromFileTime(*fileTime, systemTime)) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
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

// Only a key that is there opens.
LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result)
{
    const std::string path = KeyPath(key, subKey);
    FakeRecord("RegOpenKeyExA %s %u 0x%x", path.c_str(), options, desired);
    if (g_fake.registry.count(path) == 0)
        return ERROR_FILE_NOT_FOUND;
    *result = OpenKeyHandle(path);
    return ERROR_SUCCESS;
}

// Security attributes are recorded by their descriptor's text, a stack address would say nothing.
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM desired, LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                            LPDWORD disposition)
{
    const std::string path = KeyPath(key, subKey);
    if (securityAttributes)
        FakeRecord("RegCreateKeyExA %s %u %p %u 0x%x sd=%s", path.c_str(), reserved, static_cast<void *>(keyClass),
                   options, desired, FakeDescriptorText(securityAttributes->lpSecurityDescriptor).c_str());
    else
        FakeRecord("RegCreateKeyExA %s %u %p %u 0x%x (nil)", path.c_str(), reserved, static_cast<void *>(keyClass),
                   options, desired);
    if (g_fake.createKeyError != 0)
        return g_fake.createKeyError;
    const bool existed = g_fake.registry.count(path) != 0;
    g_fake.registry[path];
    *result = OpenKeyHandle(path);
    if (disposition)
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
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

// Only the value types the flags name; RRF_RT_ANY takes any, as Windows does.
LONG WINAPI RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD flags, LPDWORD type, PVOID data, LPDWORD size)
{
    const std::string path = KeyPath(key, subKey);
    FakeRecord("RegGetValueA %s %s 0x%x", path.c_str(), valueName, flags);
    const FakeRegistryValue *value = FakeRegistryGet(subKey, valueName);
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (flags != RRF_RT_ANY && !(flags & RestrictFlag(value->type)))
        return ERROR_UNSUPPORTED_TYPE;
    if (type)
        *type = value->type;
    const DWORD bytes = static_cast<DWORD>(value->data.size());
    const DWORD room = *size;
    *size = bytes;
    if (bytes > room)
        return ERROR_MORE_DATA;
    std::memcpy(data, value->data.data(), bytes);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    auto open = g_keyHandles.find(reinterpret_cast<std::uintptr_t>(key));
    FakeRecord("RegDeleteValueA %s", valueName);
    if (open == g_keyHandles.end())
        return ERROR_INVALID_HANDLE;
    return g_fake.registry[open->second].erase(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    const std::string path = KeyPath(key, subKey);
    FakeRecord("RegDeleteKeyA %s", path.c_str());
    if (g_fake.deleteKeyError != 0)
        return g_fake.deleteKeyError;
    return g_fake.registry.erase(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    FakeRecord("RegCloseKey");
    if (g_keyHandles.erase(reinterpret_cast<std::uintptr_t>(key)) == 0)
        return ERROR_INVALID_HANDLE;
    --g_fake.openKeys;
    return ERROR_SUCCESS;
}
