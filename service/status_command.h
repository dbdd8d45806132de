// `RUZivEr2 -status`: what the service is doing, for an administrator and for a monitoring
// system that runs a command and reads its exit status. It prints, and exits without the
// pause of the other commands:
//
//   the service's state from the Service Control Manager (for a stopped service its exit
//   codes, and for a start-up that gave up the step in words), the stored settings as the
//   worker would load them, the state the running service published (service/status_publish,
//   one whole record) with the age of each time on the system's tick count, and whether
//   Windows' time service may set this clock too and which of its settings decides; then
//   "Status: <n> <OK|WARNING|CRITICAL|UNKNOWN>, <why>". A refusal of the manager or the service
//   is printed with the call that failed and the system's text for why.
//
// It needs no administrator's rights: the manager and the services are opened for queries
// only, and the registry is read with read access.
#pragma once

#include <windows.h>

#include "engine/settings_word.h"
#include "service/error_text.h"

// `formWord` is the word after -status: NULL for the text form, "json" or "prometheus" for the
// forms for machines (service/status_formats); any other word is refused with exit status 3.
// Returns the exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (service/status_exit_rule).
int RunStatusCommand(const char *formWord);

// What the Service Control Manager says of this service and of Windows' time service, asked
// for queries only, as -status asks it; -measure asks the same before it goes near the board.
struct ServiceStates {
    int readable;   // 1 when the manager answered for this service (installed or not)
    char refusal[LAST_ERROR_TEXT_SIZE + 32];  // else the call that failed and why
    int installed;
    SERVICE_STATUS status;
    int peerInstalled;  // Windows' time service, as the manager knows it
    SERVICE_STATUS peerStatus;
};

void QueryServiceStates(ServiceStates *states);

// The lines -status prints: "Settings: ..." for the settings given, and "Windows Time
// (W32Time): ..." from the registry and the states. The latter returns 1 when Windows' time
// service may set this clock.
void PrintSettingsLine(const SettingsState &settings);
int PrintTimeServiceLine(const ServiceStates &states);
