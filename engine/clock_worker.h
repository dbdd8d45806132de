// The worker: start-up, the 51 ms polling loop and the closing sequence.
//
// WorkerState holds what the worker prepares for the clock check and keeps until the
// process ends: the board address that CheckTime passes to the reader library, and the
// process token with the privilege record used around each clock change.
#pragma once

#include <windows.h>

struct WorkerState {
    DWORD tickCount;                 // polling ticks since the loop started
    int discoveryResult;             // FindReaderBoard's result, 1 once a board is found
    WORD boardAddress;               // working copy passed to NttcReadTime
    DWORD startFamilyCode;           // start-up copies of the board record, for the trace
    DWORD startIdentificationValue;
    DWORD startBoardAddress;
    HANDLE process;
    HANDLE token;                    // process token: TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
    TOKEN_PRIVILEGES privileges;     // SeSystemtimePrivilege, SE_PRIVILEGE_ENABLED
};

extern WorkerState g_worker;
