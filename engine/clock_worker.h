// The worker: start-up, the 51 ms polling loop and the closing sequence.
//
// Start-up prepares, in a fixed order, everything the clock check needs: the settings, the
// stop event, the reader library and board, real-time priority, the protection of the
// program's own file and the clock privilege. As a service each step is reported to the
// Service Control Manager; in console mode it is traced. Then the worker asks for a 1 ms
// system timer and calls CheckTime every 51 ms until the stop event is signalled (in the
// precise mode, chosen by the Discipline value, PreciseTick instead). Every way out goes
// through one closing sequence: give the timer back (and in the precise mode the clock's
// rate), mark the worker closed for a console that waits to end, close the stop event, beep,
// pause 5 s. In the other mode the start-up also hands back a rate a crashed precise run left.
#pragma once

#include <windows.h>

#include "engine/peer_rule.h"
#include "engine/precise_clock.h"
#include "engine/time_check.h"
#include "engine/worker_status.h"

// The wait hint of every start-up report but the discovery retry's: the first report, which
// the service entry makes before the worker runs, and one after each later step.
inline constexpr DWORD kStartHintMs = 3000;

// The polling period, and the system timer's period asked for while polling (-measure polls
// so too, so that it measures the board as the service reads it).
inline constexpr DWORD kPollIntervalMs = 51;
inline constexpr UINT kPollTimerPeriodMs = 1;

// The wait hint that covers the closing sequence: its beep and its pause of 5 s.
inline constexpr DWORD kClosingHintMs = 7000;

// The start-up steps that can fail, each with the code the service stops with as its
// service-specific exit code (ERROR_SERVICE_SPECIFIC_ERROR). A refused status report is not
// among them: the service then stops with the refusal's own error.
enum StartupFailure : DWORD {
    STARTUP_SUCCEEDED = 0,
    STARTUP_NO_LIBRARY = 1,       // NttcOpen gave 0
    STARTUP_NO_BOARD = 2,         // no board at any candidate address, in both passes
    STARTUP_NO_PRIORITY = 3,      // the real-time priority class was refused
    STARTUP_FILE_UNPROTECTED = 4, // the program's file could not be given its DACL
    STARTUP_NO_PRIVILEGE = 5,     // the token or the clock privilege could not be prepared
    STARTUP_NO_STOP_EVENT = 6     // the stop event could not be created
};

// The step in words, for the console and the event log: "the reader library ZYN_NTTC.dll
// did not open", ...
const char *StartupFailureText(StartupFailure step);

// How the worker tells the one who runs it how its start-up goes and what it does. The
// service entry passes reports to the Service Control Manager and the event log; the console
// run passes ones that let the trace speak. All run on the worker's thread.
struct WorkerReporter {
    // A start-up step is done and more follow; the next should take at most waitHintMs.
    // Returns 0 when the start-up must end (the manager refused the report).
    int (*reportStarting)(DWORD waitHintMs);
    // The start-up is complete and the worker polls from now on. Returns 0 as above.
    int (*reportRunning)(void);
    // The start-up gave up at `step`; `error` is the failing call's last error, 0 when the
    // step has none. The closing sequence follows.
    void (*reportStartupFailed)(StartupFailure step, DWORD error);
    // The clock was set (NULL: corrections are not reported).
    void (*reportCorrection)(const ClockCorrection *correction);
    // The precise mode's "step" or "rate" did not change the clock, which is now only
    // measured for an hour (NULL: the trace alone says so).
    void (*reportAdjustmentIgnored)(const char *adjustment);
    // The precise mode cannot do all it should (no clock privilege, a clock beyond the rate's
    // bound, no rate call that moves the clock, another's rate in force): told once each
    // (NULL: the trace alone says so).
    void (*reportPreciseWarning)(PreciseWarning warning, const char *detail);
    // The worker's state, on the first tick after 5 s have passed since the last one and at
    // each correction (NULL: nothing is published).
    void (*publishStatus)(const WorkerStatus *status);
    // Windows' time service may set this clock too: its Type in force ("" when it has none)
    // and whether Group Policy decides. Told once, after the start-up (NULL: the trace alone
    // says so).
    void (*reportTimeServicePeer)(const PeerVerdict *verdict);
    // Called on every tick, and once more in the closing sequence with `closing` 1, so that
    // the records kept for the event log are written in time (NULL: none are kept).
    void (*keepRecords)(int closing);
};

struct WorkerState {
    const WorkerReporter *reporter;  // as RunClockWorker was given it
    DWORD tickCount;                 // polling ticks since the loop started
    int discoveryResult;             // FindReaderBoard's result, 1 once a board is found
    DWORD startFamilyCode;           // start-up copies of the board record, for the trace
    DWORD startIdentificationValue;
    DWORD startBoardAddress;
    HANDLE process;                  // the own process, all access
    PSECURITY_DESCRIPTOR programFileSecurity;  // applied to the program's file, kept
    TimeCheckInputs timeCheck;       // built step by step, given to the check before the loop
    int pollTimerGranted;            // 1 while the 1 ms system timer is held for the loop
    StartupFailure failure;          // the step the start-up gave up at, if it did
    DWORD failureError;              // that step's last error, 0 when it has none
    ULONGLONG startedAt;             // UTC, FILETIME units: the start-up's end, when published
    ULONGLONG startedTickMs;         // and the system's tick count then
    DWORD nextPublishTick;           // the status is published at this tick at the soonest,
    ULONGLONG lastPublishMs;         // 5 s of GetTickCount64 after the last time,
    DWORD publishedCorrections;      // or as soon as the corrections differ from these
};

extern WorkerState g_worker;

// The DACL given to the program's own file: full control for SYSTEM and Administrators,
// read and execute for Users, not inherited from the folder.
extern const char kProgramFileSecurity[];

// Runs the worker on the calling thread, telling `reporter` how the start-up goes; returns
// after the closing sequence.
void RunClockWorker(const WorkerReporter *reporter);
