// Whether Windows' own time service may set this computer's clock too. On a domain member it
// is on by default and disciplines the clock from the domain controller; the two services
// would then fight, and the clock swing between them.
//
// Pure code, no platform call: engine/time_service_peer reads the facts.
#pragma once

#include <windows.h>

const DWORD PEER_START_DISABLED = 4;  // SERVICE_DISABLED, as the service's Start value holds it

// What the registry says of Windows' time service (W32Time).
struct TimeServicePeer {
    int installed;      // 1 when its service key has a Start value
    DWORD startType;    // 2 automatic, 3 on demand (the default in a workgroup), 4 disabled
    char type[32];      // Parameters\Type: NT5DS, NTP, AllSync, NoSync; empty when missing
};

// 1 when it may set the clock: installed and not disabled (it need not run now: on demand it is
// started by a scheduled task or a trigger), and its Type is not NoSync (in any case). A
// missing Type leaves it to its defaults, which set the clock.
int PeerSetsClock(const TimeServicePeer &peer);
