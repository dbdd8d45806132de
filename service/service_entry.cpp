// The service's main function and its control handler.
#include "service/service_entry.h"

#include "engine/clock_worker.h"
#include "service/service_names.h"
#include "service/status_report.h"
#include "service/stop_request.h"

namespace {

const DWORD kStartHintMs = 3000;

}  // namespace

// The start request's arguments have no effect: the settings word is the only setting.
void WINAPI ServiceEntry(DWORD, LPSTR *)
{
    const SERVICE_STATUS_HANDLE statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ServiceControl);
    if (!statusHandle)
        return;
    SetStatusHandle(statusHandle);
    if (ReportStatus(SERVICE_START_PENDING, NO_ERROR, kStartHintMs))
        RunClockWorker();
    ReportStatus(SERVICE_STOPPED, GetLastErrorCode(), 0);
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
