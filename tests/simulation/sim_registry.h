// The clock simulation's registry: the service's own key and its volatile Status key, in
// memory, behind the registry and security calls of the engine's rate mark (engine/rate_mark).
// The simulation has no other registry; this lets a run start with the mark a crashed run of
// the program left, and find out what its own start made of it (ReadOwnRateMark).
#pragma once

#include <windows.h>

// No Status key; the service's own key there or not (not there: a `-debug` run on a machine
// where the service is not installed, which marks nothing).
void SimResetRegistry(int serviceInstalled);

// The Status key holds the mark a crashed run left: its adjustment and whether the finer call
// set it. The service is installed, as only then does a run mark its rate.
void SimPutOwnRateMark(int preciseCall, ULONGLONG adjustment);
