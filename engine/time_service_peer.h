// Reading what the registry says of Windows' own time service (W32Time): its start type and
// its Type. Read access only, so that a plain user's `-status` can read it too.
#pragma once

#include <windows.h>

#include "engine/peer_rule.h"

// HKLM\SYSTEM\CurrentControlSet\Services\W32Time, and its Parameters.
extern const char kTimeServiceKeyPath[];
extern const char kTimeServiceName[];  // "W32Time"

// The command an administrator runs so that Windows' time service no longer sets the clock.
extern const char kTimeServiceNoSyncCommand[];

// Fills *peer; a service that is not installed leaves installed 0.
void ReadTimeServicePeer(TimeServicePeer *peer);
