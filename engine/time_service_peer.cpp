// Reading what the registry says of Windows' own time service.
#include "engine/time_service_peer.h"

#include <cstdio>

const char kTimeServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\W32Time";
const char kTimeServiceName[] = "W32Time";
const char kTimeServiceNoSyncCommand[] = "w32tm /config /syncfromflags:NO /update";

void ReadTimeServicePeer(TimeServicePeer *peer)
{
    *peer = TimeServicePeer{};
    DWORD size = sizeof peer->startType;
    peer->installed = RegGetValueA(HKEY_LOCAL_MACHINE, kTimeServiceKeyPath, "Start", RRF_RT_REG_DWORD, NULL,
                                   &peer->startType, &size) == ERROR_SUCCESS;
    if (!peer->installed)
        return;
    char parameters[sizeof kTimeServiceKeyPath + 16];
    std::snprintf(parameters, sizeof parameters, "%s\\Parameters", kTimeServiceKeyPath);
    size = sizeof peer->type;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, parameters, "Type", RRF_RT_REG_SZ, NULL, peer->type, &size) != ERROR_SUCCESS)
        peer->type[0] = '\0';
}
