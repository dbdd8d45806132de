// The service's main function and its control handler.
#include "service/service_entry.h"

#include <cstdio>
#include <cstdlib>

#include "base/service_names.h"
#include "engine/clock_worker.h"
#include "engine/stop_request.h"
#include "service/clock_set_log.h"
#include "service/error_text.h"
#include "service/event_log.h"
#include "service/event_messages.h"
#include "service/status_publish.h"
#include "service/status_report.h"

namespace {

int ReportStartPending(DWORD waitHintMs) { return ReportStatus(SERVICE_START_PENDING, NO_ERROR, waitHintMs); }

int ReportRunning(void) { return ReportStatus(SERVICE_RUNNING, NO_ERROR, 0); }

// A start-up that gives up is a failure, not a clean stop: one error entry says which step
// and why, and the stopped report carries the step's code, which the manager records and
// `sc query` shows (and which the recovery actions -load sets act on). Before the closing
// sequence's pause, which the last start-pending report's hint did not promise, the manager
// is told it comes: stop-pending, with a hint that covers it.
void ReportStartupFailed(StartupFailure step, DWORD error)
{
    KeepStartupFailureCode(step);
    char code[16];
    std::snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(step));
    char systemText[LAST_ERROR_TEXT_SIZE];
    FormatErrorText(error, systemText, sizeof systemText);
    LPCSTR strings[3] = {code, StartupFailureText(step), systemText};
    WriteEvent(EVENTLOG_ERROR_TYPE, EVENT_STARTUP_FAILED, 3, strings);
    ReportStatus(SERVICE_STOP_PENDING, NO_ERROR, kClosingHintMs);
}

// A warning, once for each time the clock stops following: the service goes on measuring.
void ReportAdjustmentIgnored(const char *adjustment)
{
    LPCSTR strings[1] = {adjustment};
    WriteEvent(EVENTLOG_WARNING_TYPE, EVENT_ADJUSTMENT_IGNORED, 1, strings);
}

// A warning, once for each thing the precise mode cannot do: the service keeps the clock as
// well as it can all the same (measuring only, or by steps).
void ReportPreciseWarning(PreciseWarning warning, const char *detail)
{
    EventMessage event;
    switch (warning) {
    case PRECISE_WARNING_NO_PRIVILEGE:
        event = EVENT_PRECISE_NO_PRIVILEGE;
        break;
    case PRECISE_WARNING_LIMITED:
        event = EVENT_PRECISE_LIMITED;
        break;
    case PRECISE_WARNING_NO_RATE_CALL:
        event = EVENT_PRECISE_NO_RATE_CALL;
        break;
    case PRECISE_WARNING_RIVAL_RATE:
        event = EVENT_PRECISE_RIVAL_RATE;
        break;
    default:
        return;
    }
    // The engine names the privilege's error by its number; the entry gives the system's text.
    char errorText[LAST_ERROR_TEXT_SIZE];
    if (warning == PRECISE_WARNING_NO_PRIVILEGE && detail)
        detail = FormatErrorText(static_cast<DWORD>(std::strtoul(detail, NULL, 10)), errorText, sizeof errorText);
    LPCSTR strings[1] = {detail ? detail : ""};
    WriteEvent(EVENTLOG_WARNING_TYPE, event, 1, strings);
}

// A warning, once a start: the service keeps the clock all the same. Where Group Policy sets
// the Type, the entry says so, and what an administrator of this machine alone cannot do.
void ReportTimeServicePeer(const PeerVerdict *verdict)
{
    LPCSTR strings[1] = {verdict->type[0] ? verdict->type : "not set"};
    WriteEvent(EVENTLOG_WARNING_TYPE,
               verdict->decidedBy == PEER_FROM_POLICY ? EVENT_TIME_SERVICE_PEER_POLICY : EVENT_TIME_SERVICE_PEER, 1,
               strings);
}

}  // namespace

const WorkerReporter kServiceReporter = {ReportStartPending,      ReportRunning,           ReportStartupFailed,
                                         RecordClockSet,          ReportAdjustmentIgnored, ReportPreciseWarning,
                                         PublishWorkerStatus,     ReportTimeServicePeer,   FlushClockSetCount};

// The start request's arguments have no effect: the settings word is the only setting.
void WINAPI ServiceEntry(DWORD, LPSTR *)
{
    const SERVICE_STATUS_HANDLE statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ServiceControl);
    if (!statusHandle)
        return;
    SetStatusHandle(statusHandle);
    if (ReportStartPending(kStartHintMs))
        RunClockWorker(&kServiceReporter);
    ReportStopped();
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
