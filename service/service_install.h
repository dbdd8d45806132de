// Installing and removing the service: the work of the `-load` and `-unload` runs.
//
// Both run in a console run of the program, never inside the service, and print what
// happened to standard output. A failure is printed with the system's text for the failed
// call's error and its code, "OpenService failed - Service does not exist. (0x424)", and is
// not retried.
#pragma once

#include <windows.h>

#include "service/error_text.h"

struct ServiceInstallState {
    char errorText[LAST_ERROR_TEXT_SIZE];  // the error text of the latest failure message
};

extern ServiceInstallState g_serviceInstall;

// Stores the settings word from `-load X nnn [precise [D]]`; a failure is printed, and the
// caller installs the service all the same. Returns 0 when the board's delay D is refused:
// that is printed, nothing is stored, and the caller installs nothing either (a mistyped delay
// must not leave a service that starts with the old one).
int SaveSettingsWord(int argc, char **argv);

// 1 when `-load`'s arguments hold a board's delay that SaveSettingsWord would refuse; the
// refusal is printed. Lets the package refuse it before it changes anything.
int RefuseBoardDelay(int argc, char **argv);

// Registers the running program with the manager as a service of its own process, started
// automatically under the local system account. A new service is given its description and
// its recovery actions (restart after 60 s twice, then nothing; the count reset after a day;
// applied to a stop with a non-zero exit code too), and the program becomes its event
// source's message file.
void InstallService(void);

// What InstallService completes on a service that exists, for a service registered by
// another (the package's tables): its description and recovery actions, and programPath
// as its event source's message file. Returns 0 when the service cannot be opened (printed).
int CompleteInstalledService(const char *programPath);

// Stops the service if it runs, waiting as long as it reports stop-pending, then deletes it
// and, once it is deleted, its event source's key.
void RemoveService(void);

// RemoveService's steps but the deletion, for a service another deletes (the package's
// tables): the stop and the wait while it is stop-pending, then the event source.
void StopServiceForRemoval(void);
