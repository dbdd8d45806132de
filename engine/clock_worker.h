// The worker: start-up, the 51 ms polling loop and the closing sequence.
//
// Start-up prepares, in a fixed order, everything the clock check needs: the settings, the
// stop event, the reader library and board, real-time priority, the protection of the
// program's own file and the clock privilege. As a service each step is reported to the
// Service Control Manager; in console mode it is traced. Then the worker asks for a 1 ms
// system timer and calls CheckTime every 51 ms until the stop event is signalled. Every way
// out goes through one closing sequence: give the timer back, close the stop event, beep,
// pause 5 s.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

// The wait hint of every start-up report but the discovery retry's: the first report, which
// the service entry makes before the worker runs, and one after each later step.
inline constexpr DWORD kStartHintMs = 3000;

// How the worker tells the one who runs it how its start-up goes. The service entry passes
// reports to the Service Control Manager; the console run passes ones that only let the
// trace speak. Each returns 0 when the start-up must end (the manager refused the report).
struct WorkerReporter {
    // A start-up step is done and more follow; the next should take at most waitHintMs.
    int (*reportStarting)(DWORD waitHintMs);
    // The start-up is complete and the worker polls from now on.
    int (*reportRunning)(void);
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
};

extern WorkerState g_worker;

// The DACL given to the program's own file: full control for SYSTEM and Administrators,
// read and execute for Users, not inherited from the folder.
extern const char kProgramFileSecurity[];

// Runs the worker on the calling thread, telling `reporter` how the start-up goes; returns
// after the closing sequence.
void RunClockWorker(const WorkerReporter *reporter);
