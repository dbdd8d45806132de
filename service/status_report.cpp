// Status reports to the service manager, and error entries in the event log.
#include "service/status_report.h"

#include <cstdio>

#include "base/console_output.h"
#include "base/service_names.h"
#include "service/event_log.h"
#include "service/event_messages.h"

StatusState g_status;

namespace {

const size_t kEventTextSize = 256;
const char kRefusedReport[] = "SetServiceStatus";

// Only pending states count progress; a settled state carries 0. The caller holds the lock.
DWORD TakeCheckpointLocked(DWORD state)
{
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED)
        return 0;
    return g_status.checkpointCounter++;
}

// Fills the record for one report and sends it. The caller holds the lock from before the
// first field is written until after the manager has the record, so that no other report
// can mix its fields or its checkpoint into this one. On a refusal `*error` takes the
// refusal's code, read before any other call can overwrite it.
BOOL SendLocked(DWORD state, DWORD exitCode, DWORD waitHintMs, DWORD *error)
{
    // After the stopped report the handle is the manager's no more: a control that came late
    // (an interrogate) must neither overwrite the exit codes nor log a refusal.
    *error = 0;
    if (g_status.stoppedReported)
        return TRUE;
    SERVICE_STATUS &status = g_status.status;
    // A service still starting cannot stop cleanly, so it does not take the stop control.
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = exitCode == ERROR_SERVICE_SPECIFIC_ERROR ? g_status.startupFailureCode : 0;
    status.dwWaitHint = waitHintMs;
    status.dwCheckPoint = TakeCheckpointLocked(state);
    const BOOL sent = SetServiceStatus(g_status.statusHandle, &status);
    if (!sent)
        *error = GetLastError();
    g_status.stoppedReported = sent && state == SERVICE_STOPPED;
    return sent;
}

// Logs a refused report. The caller has left the lock: writing to the event log is a call
// into another service that can take a while, and the control thread must not wait behind
// it to answer the manager.
BOOL LogIfRefused(BOOL sent, DWORD error)
{
    if (sent)
        return sent;
    // LogErrorEvent takes its code from the thread's last error, which is the refusal's
    // only while nothing has run since; put it back rather than rely on that.
    SetLastError(error);
    LogErrorEvent(kRefusedReport);
    return sent;
}

void KeepLastErrorCode(DWORD error)
{
    EnterCriticalSection(&g_status.lock);
    g_status.lastErrorCode = error;
    LeaveCriticalSection(&g_status.lock);
}

}  // namespace

void InitStatusReporting(void)
{
    g_status = StatusState{};
    g_status.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.status.dwServiceSpecificExitCode = 0;
    g_status.checkpointCounter = 1;
    g_status.lastErrorCode = 0;
    InitializeCriticalSection(&g_status.lock);
}

void EndStatusReporting(void)
{
    DeleteCriticalSection(&g_status.lock);
}

void SetStatusHandle(SERVICE_STATUS_HANDLE handle)
{
    EnterCriticalSection(&g_status.lock);
    g_status.statusHandle = handle;
    LeaveCriticalSection(&g_status.lock);
}

BOOL ReportStatus(DWORD state, DWORD exitCode, DWORD waitHintMs)
{
    if (g_console.consoleMode)
        return TRUE;
    DWORD error;
    EnterCriticalSection(&g_status.lock);
    const BOOL sent = SendLocked(state, exitCode, waitHintMs, &error);
    LeaveCriticalSection(&g_status.lock);
    return LogIfRefused(sent, error);
}

void SetCurrentState(DWORD state)
{
    EnterCriticalSection(&g_status.lock);
    if (!g_status.stoppedReported)
        g_status.status.dwCurrentState = state;
    LeaveCriticalSection(&g_status.lock);
}

BOOL ReportCurrentState(void)
{
    if (g_console.consoleMode)
        return TRUE;
    DWORD error;
    // The state is read under the same hold that sends it: a report from the service
    // thread in between would otherwise be answered with the state it replaced.
    EnterCriticalSection(&g_status.lock);
    const BOOL sent = SendLocked(g_status.status.dwCurrentState, 0, 0, &error);
    LeaveCriticalSection(&g_status.lock);
    return LogIfRefused(sent, error);
}

void LogErrorEvent(const char *message)
{
    if (g_console.consoleMode)
        return;
    // First: every later call may overwrite the thread's last error.
    const DWORD error = GetLastError();
    KeepLastErrorCode(error);
    char text[kEventTextSize];
    // Signed decimal, the form readers of these entries know: 0xC0000005 is -1073741819.
    std::snprintf(text, sizeof text, "%s error: %d", kServiceName, static_cast<int>(error));
    LPCSTR strings[2] = {text, message};
    WriteEvent(EVENTLOG_ERROR_TYPE, EVENT_SERVICE_ERROR, 2, strings);
}

void KeepStartupFailureCode(DWORD code)
{
    EnterCriticalSection(&g_status.lock);
    g_status.startupFailureCode = code;
    LeaveCriticalSection(&g_status.lock);
}

BOOL ReportStopped(void)
{
    EnterCriticalSection(&g_status.lock);
    const DWORD exitCode = g_status.startupFailureCode != 0 ? ERROR_SERVICE_SPECIFIC_ERROR : g_status.lastErrorCode;
    LeaveCriticalSection(&g_status.lock);
    return ReportStatus(SERVICE_STOPPED, exitCode, 0);
}

DWORD LastLoggedErrorCode(void)
{
    EnterCriticalSection(&g_status.lock);
    const DWORD error = g_status.lastErrorCode;
    LeaveCriticalSection(&g_status.lock);
    return error;
}
