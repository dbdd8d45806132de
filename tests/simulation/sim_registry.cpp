// The clock simulation's registry: two keys in memory.
#include "sim_registry.h"

#include <sddl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/service_names.h"
#include "engine/rate_mark.h"

namespace {

struct SimRegistryValue {
    DWORD type;
    std::vector<BYTE> data;
};

// The keys' handles are fixed: one service key and one Status key is all there is.
HKEY const kServiceHandle = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x51));
HKEY const kStatusHandle = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x52));

struct SimRegistryState {
    int serviceKey;  // 1 while the service's own key is there
    int statusKey;   // 1 while its Status key is there
    std::map<std::string, SimRegistryValue> statusValues;
};

SimRegistryState g_simRegistry;

// The one descriptor handed out: its contents are never looked at.
char g_descriptor[1];

// The RRF_RT_ flag of a value type: one bit per type up to REG_DWORD, then the multi-string's
// and the QWORD's, which are not at their types' bits.
DWORD RestrictFlag(DWORD type)
{
    if (type <= REG_DWORD)
        return 1u << type;
    return type == REG_MULTI_SZ ? 0x20 : type == REG_QWORD ? RRF_RT_REG_QWORD : 0;
}

}  // namespace

void SimResetRegistry(int serviceInstalled)
{
    g_simRegistry = SimRegistryState{};
    g_simRegistry.serviceKey = serviceInstalled;
}

// Marked as the crashed run marked it, so that the names and forms are the program's own.
void SimPutOwnRateMark(int preciseCall, ULONGLONG adjustment)
{
    g_simRegistry.serviceKey = 1;
    MarkOwnRate(preciseCall, adjustment);
}

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (key != HKEY_LOCAL_MACHINE)
        return ERROR_FILE_NOT_FOUND;
    if (g_simRegistry.serviceKey && std::strcmp(subKey, kServiceKeyPath) == 0) {
        *result = kServiceHandle;
        return ERROR_SUCCESS;
    }
    if (g_simRegistry.statusKey && std::strcmp(subKey, kStatusKeyPath) == 0) {
        *result = kStatusHandle;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

// As Windows does, the path from HKLM makes the keys on it that are missing.
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY result,
                            LPDWORD disposition)
{
    const int fromService = key == kServiceHandle && std::strcmp(subKey, kStatusKeyName) == 0;
    const int fromRoot = key == HKEY_LOCAL_MACHINE && std::strcmp(subKey, kStatusKeyPath) == 0;
    if (!fromService && !fromRoot)
        return ERROR_FILE_NOT_FOUND;
    if (disposition)
        *disposition = g_simRegistry.statusKey ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    g_simRegistry.serviceKey = 1;
    g_simRegistry.statusKey = 1;
    *result = kStatusHandle;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE *data, DWORD dataLength)
{
    if (key != kStatusHandle || !g_simRegistry.statusKey)
        return ERROR_INVALID_HANDLE;
    g_simRegistry.statusValues[valueName] = SimRegistryValue{type, std::vector<BYTE>(data, data + dataLength)};
    return ERROR_SUCCESS;
}

// Only the value types the flags name, as Windows does.
LONG WINAPI RegGetValueA(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD flags, LPDWORD type, PVOID data, LPDWORD size)
{
    if (key != HKEY_LOCAL_MACHINE || !g_simRegistry.statusKey || std::strcmp(subKey, kStatusKeyPath) != 0)
        return ERROR_FILE_NOT_FOUND;
    auto value = g_simRegistry.statusValues.find(valueName);
    if (value == g_simRegistry.statusValues.end())
        return ERROR_FILE_NOT_FOUND;
    if (flags != RRF_RT_ANY && !(flags & RestrictFlag(value->second.type)))
        return ERROR_UNSUPPORTED_TYPE;
    if (type)
        *type = value->second.type;
    const DWORD bytes = static_cast<DWORD>(value->second.data.size());
    const DWORD room = *size;
    *size = bytes;
    if (bytes > room)
        return ERROR_MORE_DATA;
    std::memcpy(data, value->second.data.data(), bytes);
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    if (key != kStatusHandle || !g_simRegistry.statusKey)
        return ERROR_INVALID_HANDLE;
    return g_simRegistry.statusValues.erase(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY key)
{
    return key == kServiceHandle || key == kStatusHandle ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR, DWORD,
                                                                 PSECURITY_DESCRIPTOR *securityDescriptor, PULONG)
{
    *securityDescriptor = g_descriptor;
    return TRUE;
}

HLOCAL WINAPI LocalFree(HLOCAL) { return NULL; }
