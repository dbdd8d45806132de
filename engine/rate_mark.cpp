// The mark of the program's own clock rate in the service's volatile Status key.
#include "engine/rate_mark.h"

#include <sddl.h>

#include <cstring>

#include "base/service_names.h"

namespace {

const char kAdjustmentValueName[] = "OwnRateAdjustment";
const char kCallValueName[] = "OwnRateCall";
const char kPreciseCallWord[] = "precise";
const char kLegacyCallWord[] = "legacy";

}  // namespace

int ReadOwnRateMark(int *preciseCall, ULONGLONG *adjustment)
{
    *preciseCall = 0;
    *adjustment = 0;
    ULONGLONG marked = 0;
    DWORD size = sizeof marked;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kStatusKeyPath, kAdjustmentValueName, RRF_RT_REG_QWORD, NULL, &marked,
                     &size) != ERROR_SUCCESS)
        return 0;
    char call[16];
    size = sizeof call;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kStatusKeyPath, kCallValueName, RRF_RT_REG_SZ, NULL, call, &size) !=
        ERROR_SUCCESS)
        return 0;
    // A word it does not know could be anyone's: only what this program writes is its own.
    const int precise = std::strcmp(call, kPreciseCallWord) == 0;
    if (!precise && std::strcmp(call, kLegacyCallWord) != 0)
        return 0;
    *preciseCall = precise;
    *adjustment = marked;
    return 1;
}

// Made relative to the service's key, opened first: had the key path been made from HKLM, a
// missing service key would have been made with it.
void MarkOwnRate(int preciseCall, ULONGLONG adjustment)
{
    HKEY service = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServiceKeyPath, 0, KEY_CREATE_SUB_KEY, &service) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kStatusKeySecurity, SDDL_REVISION_1, &descriptor, NULL)) {
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
        HKEY status = NULL;
        DWORD disposition;
        if (RegCreateKeyExA(service, kStatusKeyName, 0, NULL, REG_OPTION_VOLATILE, KEY_SET_VALUE, &attributes, &status,
                            &disposition) == ERROR_SUCCESS) {
            const char *call = preciseCall ? kPreciseCallWord : kLegacyCallWord;
            RegSetValueExA(status, kAdjustmentValueName, 0, REG_QWORD, reinterpret_cast<const BYTE *>(&adjustment),
                           sizeof adjustment);
            RegSetValueExA(status, kCallValueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(call),
                           static_cast<DWORD>(std::strlen(call) + 1));
            RegCloseKey(status);
        }
        LocalFree(descriptor);
    }
    RegCloseKey(service);
}

void ClearOwnRateMark(void)
{
    HKEY status = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStatusKeyPath, 0, KEY_SET_VALUE, &status) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(status, kCallValueName);
    RegDeleteValueA(status, kAdjustmentValueName);
    RegCloseKey(status);
}
