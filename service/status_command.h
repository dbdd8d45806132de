// `RUZivEr2 -status`: what the service is doing, for an administrator and for a monitoring
// system that runs a command and reads its exit status. It prints, and exits without the
// pause of the other commands:
//
//   the service's state from the Service Control Manager (for a stopped service its exit
//   codes, and for a start-up that gave up the step in words), the stored settings as the
//   worker would load them, the state the running service published (service/status_publish)
//   with the age of each time, and whether Windows' time service may set this clock too;
//   then "Status: <n> <OK|WARNING|CRITICAL|UNKNOWN>, <why>".
//
// It needs no administrator's rights: the manager and the services are opened for queries
// only, and the registry is read with read access.
#pragma once

#include <windows.h>

#include "engine/settings_word.h"

// Returns the exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (service/status_exit_rule).
int RunStatusCommand(void);

// What the Service Control Manager says of this service and of Windows' time service, asked
// for queries only, as -status asks it; -measure asks the same before it goes near the board.
struct ServiceStates {
    int readable;   // 1 when the manager answered for this service (installed or not)
    int installed;
    SERVICE_STATUS status;
    int peerInstalled;  // Windows' time service, as the manager knows it
    SERVICE_STATUS peerStatus;
};

void QueryServiceStates(ServiceStates *states);

// "RUNNING", "STOPPED", "START_PENDING", ...
const char *ServiceStateName(DWORD state);

// The lines -status prints: "Settings: ..." for the settings given, and "Windows Time
// (W32Time): ..." from the registry and the states. The latter returns 1 when Windows' time
// service may set this clock.
void PrintSettingsLine(const SettingsState &settings);
int PrintTimeServiceLine(const ServiceStates &states);
