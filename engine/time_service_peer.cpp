// Reading what the registry says of Windows' own time service.
#include "engine/time_service_peer.h"

#include <cstdio>

const char kTimeServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
const char kTimeServiceName[] = "W32Time";
const char kTimeServicePolicyKeyPath[] = "SOFTWARE\\Policies\\Microsoft\\W32Time";
const char kTimeServiceNoSyncCommand[] = "w32tm /config /syncfromflags:NO /update";
const char kTimeServicePolicyAdvice[] =
    "Group Policy decides (\"Configure Windows NTP Client\"): whoever owns the policy must set its Type to NoSync for "
    "this computer, or disable the service";

namespace {

// Whichever view the program runs in, the policy is read where Windows' time service reads it.
const DWORD kPolicyView = RRF_SUBKEY_WOW6464KEY;

void ReadType(const char *root, DWORD view, char *type, DWORD size)
{
    char parameters[64];
    std::snprintf(parameters, sizeof parameters, "%s\\Parameters", root);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, parameters, "Type", RRF_RT_REG_SZ | view, NULL, type, &size) != ERROR_SUCCESS)
        type[0] = '\0';
}

int ReadNtpClientEnabled(const char *root, DWORD view)
{
    char ntpClient[80];
    std::snprintf(ntpClient, sizeof ntpClient, "%s\\TimeProviders\\NtpClient", root);
    DWORD enabled;
    DWORD size = sizeof enabled;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ntpClient, "Enabled", RRF_RT_REG_DWORD | view, NULL, &enabled, &size) !=
        ERROR_SUCCESS)
        return PEER_VALUE_MISSING;
    return enabled != 0;
}

}  // namespace

void ReadTimeServicePeer(TimeServicePeer *peer)
{
    *peer = TimeServicePeer{};
    DWORD size = sizeof peer->startType;
    peer->installed = RegGetValueA(HKEY_LOCAL_MACHINE, kTimeServiceKeyPath, "Start", RRF_RT_REG_DWORD, NULL,
                                   &peer->startType, &size) == ERROR_SUCCESS;
    peer->policyNtpClient = PEER_VALUE_MISSING;
    peer->localNtpClient = PEER_VALUE_MISSING;
    if (!peer->installed)
        return;
    ReadType(kTimeServicePolicyKeyPath, kPolicyView, peer->policyType, sizeof peer->policyType);
    ReadType(kTimeServiceKeyPath, 0, peer->localType, sizeof peer->localType);
    peer->policyNtpClient = ReadNtpClientEnabled(kTimeServicePolicyKeyPath, kPolicyView);
    peer->localNtpClient = ReadNtpClientEnabled(kTimeServiceKeyPath, 0);
}
