// The time-code check: compares the board's time of day with the computer clock on each
// pass of the frame/status byte, and sets the clock when the two are out of step.
//
// Time-code word from the reader library:
//   byte 3 hours, byte 2 minutes, byte 1 seconds (packed BCD), byte 0 frame/status.
// A word whose frame/status byte has bit 0x10 set arms the check; the next word whose byte
// is zero fires it, once, except at minute:second 59:59 and 00:00.
#pragma once

#include <windows.h>

struct TimeCheckState {
    DWORD timeCodeWord;         // the word most recently read
    int armed;                  // 1 after a word with bit 0x10 in its frame/status byte
    int inStep;                 // 1 after an in-step comparison or a correction
    WORD lastComputerSeconds;   // wSecond of the computer clock at the latest comparison
};

extern TimeCheckState g_timeCheck;

// One polling tick. Returns 1 when the clock is in step (it was, or has just been set),
// otherwise 0.
int CheckTime(void);
