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

struct WorkerState {
    DWORD tickCount;                 // polling ticks since the loop started
    int discoveryResult;             // FindReaderBoard's result, 1 once a board is found
    WORD boardAddress;               // working copy passed to NttcReadTime
    DWORD startFamilyCode;           // start-up copies of the board record, for the trace
    DWORD startIdentificationValue;
    DWORD startBoardAddress;
    HANDLE process;                  // the own process, all access
    PSECURITY_DESCRIPTOR programFileSecurity;  // applied to the program's file, kept
    HANDLE token;                    // process token: TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
    TOKEN_PRIVILEGES privileges;     // SeSystemtimePrivilege, SE_PRIVILEGE_ENABLED
    int pollTimerGranted;            // 1 while the 1 ms system timer is held for the loop
};

extern WorkerState g_worker;

// The DACL given to the program's own file: full control for SYSTEM and Administrators,
// read and execute for Users, not inherited from the folder.
extern const char kProgramFileSecurity[];

// Runs the worker on the calling thread; returns after the closing sequence.
void RunClockWorker(void);
