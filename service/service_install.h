// Installing and removing the service: the work of the `-load` and `-unload` runs.
//
// Both run in a console run of the program, never inside the service, and print what
// happened to standard output. A failure is printed with the system's text for the failed
// call's error and its code, "OpenService failed - Service does not exist. (0x424)", and is
// not retried.
#pragma once

#include <windows.h>

// Room for an error text, terminator included.
enum { LAST_ERROR_TEXT_SIZE = 256 };

struct ServiceInstallState {
    char errorText[LAST_ERROR_TEXT_SIZE];  // the error text of the latest failure message
};

extern ServiceInstallState g_serviceInstall;

// Registers the running program with the manager as a service of its own process, started
// automatically under the local system account.
void InstallService(void);

// Stops the service if it runs, waiting as long as it reports stop-pending, then deletes it.
void RemoveService(void);

// Fills buffer (size bytes) with the system's text for the calling thread's last error,
// line end cut, followed by the code: "Service exists. (0x431)". The text is empty when
// the system has none for the code or when text and code do not fit. Returns buffer.
char *FormatLastError(char *buffer, DWORD size);
