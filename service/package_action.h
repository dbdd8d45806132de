// The Windows Installer package's custom actions as plain routines: `-load`'s rules and
// steps applied to the package's public properties. service/package_entry.cpp is the
// library the installer calls; it hands these routines the action's data and the
// installer's log as the console (base/console_output).
//
// The data, "TIMEBASE;SLOP;PRECISE;EDGEDELAY;program path", is the properties' values as
// given (empty when not given) and the installed program's full path.
#pragma once

#include <windows.h>

enum { PACKAGE_DATA_SIZE = 1024, PACKAGE_PROPERTY_COUNT = 4 };

struct PackageActionState {
    char data[PACKAGE_DATA_SIZE];  // the action's data, cut into its fields in place
    char *fields[PACKAGE_PROPERTY_COUNT + 1];  // the four properties, then the program's path
    char *argv[6];  // the `-load` arguments the properties stand for
    int argc;       // 2 (`-load` alone) when no property was given
};

extern PackageActionState g_packageAction;

// Before the installation changes anything: 0 when the properties hold a board's delay that
// `-load` refuses (printed, with `-load`'s words); 1 otherwise.
int CheckPackageSettings(const char *data);

// After the package's tables have installed the service: stores the settings as `-load`
// would from the properties, when one was given or no settings word is stored (an upgrade or
// a repair without properties keeps the settings in force), then completes the service as
// `-load` does. Returns 0 only for a refused board's delay; every other failure is printed
// and the installation goes on, as `-load` goes on.
int CompletePackageInstall(const char *data);

// At the package's removal, before its tables stop and delete the service: the stop, waiting
// while the service stops (an upgrade's new tables then find no service marked for deletion),
// and the event source, as `-unload` does them. The settings word stays, as at `-unload`.
void RemovePackageService(void);
