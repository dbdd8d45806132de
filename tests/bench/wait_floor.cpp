// The floors of the Wine CPU measurement (tests/bench/wine_cpu_ratio.sh), Windows programs
// that do only what the worker's polling loop cannot avoid:
//
//   wait_floor.exe        waits on an event that is never signalled, 51 ms at a time, over
//                         and over;
//   wait_floor_reads.exe  the same, and after each wait reads the board's time code twice
//                         through ZYN_NTTC.dll, as every polling tick does (built with
//                         WAIT_FLOOR_READS_BOARD).
//
// RUZivEr2.exe's CPU time is compared with theirs.
#include <windows.h>

#ifdef WAIT_FLOOR_READS_BOARD
#include "reader/nttc_reader.h"
#endif

int main(void)
{
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (event == NULL)
        return 1;
#ifdef WAIT_FLOOR_READS_BOARD
    if (!NttcOpen())
        return 1;
    WORD address = 0x300;
    DWORD word;
#endif
    while (WaitForSingleObject(event, 51) == WAIT_TIMEOUT) {
#ifdef WAIT_FLOOR_READS_BOARD
        NttcReadTime(&word, &address);
        NttcReadTime(&word, &address);
#endif
    }
    CloseHandle(event);
    return 0;
}
