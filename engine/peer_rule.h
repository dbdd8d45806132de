// Whether Windows' own time service may set this computer's clock too. On a domain member it
// is on by default and disciplines the clock from the domain controller; the two services
// would then fight, and the clock swing between them.
//
// Group Policy comes first, as that service reads it: the "Configure Windows NTP Client"
// policy's Type and the "Enable Windows NTP Client" policy's Enabled, where set, win over the
// service's own values, which `w32tm /config` changes.
//
// Pure code, no platform call: engine/time_service_peer reads the facts.
#pragma once

#include <windows.h>

const DWORD PEER_START_DISABLED = 4;  // SERVICE_DISABLED, as the service's Start value holds it
const int PEER_VALUE_MISSING = -1;    // an Enabled value that is not there

// Where a setting of that service comes from.
enum PeerSource { PEER_FROM_DEFAULT, PEER_FROM_LOCAL, PEER_FROM_POLICY };

// What the registry says of Windows' time service (W32Time).
struct TimeServicePeer {
    int installed;          // 1 when its service key has a Start value
    DWORD startType;        // 2 automatic, 3 on demand (the default in a workgroup), 4 disabled
    char policyType[32];    // the policy's Parameters\Type: NT5DS, NTP, AllSync, NoSync; "" when missing
    char localType[32];     // the service's own Parameters\Type
    int policyNtpClient;    // the policy's TimeProviders\NtpClient\Enabled, or PEER_VALUE_MISSING
    int localNtpClient;     // the service's own
};

// What decides, and how.
struct PeerVerdict {
    int setsClock;          // 1 when it may set the clock
    const char *type;       // the Type in force, "" when neither has one (its default sets the clock)
    PeerSource typeFrom;
    int ntpClientOn;        // the NTP client's Enabled in force (on when neither has one)
    PeerSource ntpClientFrom;
    PeerSource decidedBy;   // the source an administrator must change to change the verdict
};

// It may set the clock when it is installed and not disabled (it need not run now: on demand
// it is started by a scheduled task or a trigger), its Type in force is not NoSync (in any
// case) and its NTP client is not off.
PeerVerdict JudgePeer(const TimeServicePeer &peer);

// "policy", "local" or "default".
const char *PeerSourceWord(PeerSource source);
