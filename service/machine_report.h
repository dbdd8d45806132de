// What the field needs to know about this machine before it trusts a measurement of the
// board: -measure prints these lines first, one each.
//
//   Windows: 10.0 build 19045, workstation, 64-bit (as RtlGetVersion reports it); this program is 32-bit
//   Performance counter: 10000000 Hz
//   System timer: 1 ms asked for and granted; 5 waits of 51 ms lasted 51.08 ms on average, 51.21 ms at most
//   Clock adjustment: GetSystemTimeAdjustment adjustment 156250, increment 156250, disabled; GetSystemTimeAdjustmentPrecise not present
//
// Read only: nothing here changes the clock, its adjustment or the process.
#pragma once

#include <windows.h>

// The version RtlGetVersion reports (ntdll's, looked up at run time: GetVersionEx would report
// what the program's manifest lets it see, and this program has none), the product type, the
// bitness of Windows and of this program.
void PrintWindowsLine(void);

// The performance counter's frequency, which the precise mode reads every edge against.
void PrintCounterLine(void);

// Whether the 1 ms timer was granted, and how long the timed 51 ms waits lasted
// (engine/measuring_run): on the default 15.625 ms tick they last 62.5 ms.
void PrintTimerLine(void);

// The system time adjustment as the legacy call, and the finer one where Windows has it,
// report it: adjustment and increment in each call's own units, and whether it is disabled
// (the system keeps the clock) or in force (a time service has set a rate).
void PrintClockAdjustmentLine(void);
