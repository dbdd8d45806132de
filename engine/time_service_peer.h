// Reading what the registry says of Windows' own time service (W32Time): its start type, its
// Type and whether its NTP client is enabled, each from Group Policy first and then from the
// service's own key. Read access only, so that a plain user's `-status` can read it too; the
// policy's key in the 64-bit view, from the 32-bit build as well.
#pragma once

#include <windows.h>

#include "engine/peer_rule.h"

// HKLM\SYSTEM\CurrentControlSet\Services\W32Time, and its Parameters.
extern const char kTimeServiceKeyPath[];
extern const char kTimeServiceName[];  // "W32Time"
// HKLM\SOFTWARE\Policies\Microsoft\W32Time, where Group Policy writes its settings.
extern const char kTimeServicePolicyKeyPath[];

// The command an administrator runs so that Windows' time service no longer sets the clock,
// where no policy decides.
extern const char kTimeServiceNoSyncCommand[];
// What to do where the policy decides.
extern const char kTimeServicePolicyAdvice[];

// Fills *peer; a service that is not installed leaves installed 0.
void ReadTimeServicePeer(TimeServicePeer *peer);
