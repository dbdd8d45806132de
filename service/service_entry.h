// The service's main function and its control handler.
//
// The dispatcher calls ServiceEntry on a thread of its own when the Service Control Manager
// starts the service: it registers ServiceControl, reports the start, runs the worker for
// as long as the service runs, then reports the service stopped. ServiceControl runs on the
// dispatcher's thread and answers the manager's controls.
#pragma once

#include <windows.h>

#include "engine/clock_worker.h"

// The worker's start-up, told to the Service Control Manager: start-pending reports with
// their wait hints, then the running report.
extern const WorkerReporter kServiceReporter;

void WINAPI ServiceEntry(DWORD argc, LPSTR *argv);

void WINAPI ServiceControl(DWORD control);
