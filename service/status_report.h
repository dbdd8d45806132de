// Status reports to the service manager, and error entries in the event log.
//
// Two threads report: the service thread (start, running, stop) and the control thread
// (a stop or an interrogation from the manager). One lock covers the record and the
// checkpoint counter, so every report goes out with its own fields and its own checkpoint.
// In console mode (`-debug`) there is no manager and no event log: reports and entries
// do nothing.
#pragma once

#include <windows.h>

struct StatusState {
    SERVICE_STATUS status;               // the record sent with every report
    SERVICE_STATUS_HANDLE statusHandle;  // from the manager when the service registers
    DWORD checkpointCounter;             // the next pending report's checkpoint; starts at 1
    DWORD lastErrorCode;                 // the error of the last entry logged; starts at 0
    DWORD startupFailureCode;            // a failed start-up's code, 0 if none; the record
                                         // carries it with ERROR_SERVICE_SPECIFIC_ERROR only
    int stoppedReported;                 // 1 once the manager took a stopped report: the last
    CRITICAL_SECTION lock;               // covers all of the above
};

extern StatusState g_status;

// Puts the record to its start (own-process service, every other field 0, counter 1,
// no error) and initialises the lock. Call it once, first thing in the process, before any
// thread exists: it is not itself safe against a thread that is reporting.
void InitStatusReporting(void);

// Releases the lock, once no thread reports any more.
void EndStatusReporting(void);

// Keeps the handle that RegisterServiceCtrlHandler gave, for every later report.
void SetStatusHandle(SERVICE_STATUS_HANDLE handle);

// Sends `state` to the manager with its exit code and wait hint. Pending states carry the
// next checkpoint; running and stopped carry 0. Only a start-pending service refuses the
// stop control. A refused report is logged. Returns SetServiceStatus's result (non-zero
// when the manager took it); always non-zero in console mode.
BOOL ReportStatus(DWORD state, DWORD exitCode, DWORD waitHintMs);

// Changes the record's current state without reporting it; the control handler marks a
// stop this way before it reports.
void SetCurrentState(DWORD state);

// Reports the record's current state again, with exit code 0 and wait hint 0, as the
// answer to a stop or an interrogation. Returns as ReportStatus does.
BOOL ReportCurrentState(void);

// Writes an error entry to the event log: "ZYN_NT_Horavex2 error: <code>" and `message`,
// where <code> is the calling thread's last error, kept for LastLoggedErrorCode. Nothing in
// console mode.
void LogErrorEvent(const char *message);

// The error of the last entry logged, 0 if none.
DWORD LastLoggedErrorCode(void);

// Keeps the code of a failed start-up for the stopped report (0: none).
void KeepStartupFailureCode(DWORD code);

// Reports the service stopped, with wait hint 0 and as its exit code
// ERROR_SERVICE_SPECIFIC_ERROR when a failed start-up's code is kept, otherwise the error of
// the last entry logged (0 after a stop the manager asked for). Returns as ReportStatus does.
BOOL ReportStopped(void);
