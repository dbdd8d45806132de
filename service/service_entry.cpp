// The service's main function and its control handler.
#include "service/service_entry.h"

#include "base/service_names.h"
#include "engine/clock_worker.h"
#include "engine/stop_request.h"
#include "service/status_report.h"

namespace {

int ReportStartPending(DWORD waitHintMs) { return ReportStatus(SERVICE_START_PENDING, NO_ERROR, waitHintMs); }

int ReportRunning(void) { return ReportStatus(SERVICE_RUNNING, NO_ERROR, 0); }

}  // namespace

const WorkerReporter kServiceReporter = {ReportStartPending, ReportRunning};

// The start request's arguments have no effect: the settings word is the only setting.
void WINAPI ServiceEntry(DWORD, LPSTR *)
{
    const SERVICE_STATUS_HANDLE statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ServiceControl);
    if (!statusHandle)
        return;
    SetStatusHandle(statusHandle);
    if (ReportStartPending(kStartHintMs))
        RunClockWorker(&kServiceReporter);
    ReportStatus(SERVICE_STOPPED, LastLoggedErrorCode(), 0);
}

// Every control is answered with the current state; a stop first marks it stop-pending
// and signals the worker, which then needs its closing pause before the stopped report.
void WINAPI ServiceControl(DWORD control)
{
    if (control == SERVICE_CONTROL_STOP) {
        SetCurrentState(SERVICE_STOP_PENDING);
        RequestStop();
    }
    ReportCurrentState();
}
