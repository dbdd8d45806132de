// The time-code check: compares the board's time of day with the computer clock on each
// pass of the frame/status byte, and sets the clock when the two are out of step.
//
// Time-code word from the reader library:
//   byte 3 hours, byte 2 minutes, byte 1 seconds (packed BCD), byte 0 frame/status.
// A word whose frame/status byte has bit 0x10 set arms the check; the next word whose byte
// is zero fires it, once, except at minute:second 59:59 and 00:00.
#pragma once

#include <windows.h>

// A correction of the clock, as the check made it.
struct ClockCorrection {
    SYSTEMTIME before;  // the computer's clock as the comparison read it
    SYSTEMTIME set;     // what it was set to: the board's time of day, 80 ms past the second
    LONG offsetMs;      // the computer's clock minus the board's time at the comparison
    int utc;            // 1: both times are UTC; 0: local time
};

// What the check is given, once, by the worker's start-up.
struct TimeCheckInputs {
    WORD boardAddress;            // passed to NttcReadTime
    LONG slopMs;                  // the clock may differ from the board by this much, in ms
    int useUtc;                   // 1: the clock is read and set in UTC; 0: in local time
    HANDLE token;                 // process token: TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
    TOKEN_PRIVILEGES privileges;  // SeSystemtimePrivilege, SE_PRIVILEGE_ENABLED
    // Told of each correction that worked, on the worker's thread; NULL: told nothing. Only
    // a correcting tick pays for it.
    void (*corrected)(const ClockCorrection *correction);
};

struct TimeCheckState {
    TimeCheckInputs inputs;     // as StartTimeCheck was given them
    DWORD timeCodeWord;         // the word most recently read
    int armed;                  // 1 after a word with bit 0x10 in its frame/status byte
    int inStep;                 // 1 after an in-step comparison or a correction
    WORD lastComputerSeconds;   // wSecond of the computer clock at the latest comparison
    // For the service's published state: comparisons, of them out of step, and corrections
    // that changed the clock, since the start; the computer's clock (in the time base) and its
    // offset at the latest comparison, and what the latest correction set it to.
    DWORD comparisons;
    DWORD outOfStep;
    DWORD corrections;
    SYSTEMTIME lastComparison;
    LONG lastOffsetMs;
    SYSTEMTIME lastCorrection;
    // The system's tick count (ms, GetTickCount64) at each: ages that a step of the clock
    // does not change. 0 for none.
    ULONGLONG lastComparisonTickMs;
    ULONGLONG lastCorrectionTickMs;
};

extern TimeCheckState g_timeCheck;

// Gives the check its inputs; the worker calls it once, before the first tick. The check's
// own state (flags, word, seconds) is left as it is: zero at process start.
void StartTimeCheck(const TimeCheckInputs *inputs);

// One polling tick. Returns 1 when the clock is in step (it was, or has just been set),
// otherwise 0.
int CheckTime(void);
