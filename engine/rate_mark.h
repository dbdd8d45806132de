// The mark of the program's own clock rate, so that a start after a crash knows what to hand
// back.
//
// The system keeps a time adjustment in force after the process that set it has ended, until
// the machine restarts. A run that ends without handing its rate back (a crash, a kill) leaves
// its rate in force, and the next start, in either mode, hands it back; a rate that another
// time service set is that service's, and stays. So each rate the program sets is marked in the
// service's volatile Status key, which lives exactly as long as the adjustment does:
//
//   HKLM\SYSTEM\CurrentControlSet\Services\ZYN_NT_Horavex2\Status
//     OwnRateAdjustment (REG_QWORD)   the adjustment, in the units of the call that set it
//     OwnRateCall (REG_SZ)            "precise" or "legacy": the call that set it
//
// The Status key is made only inside the service's own key, never that key itself: a `-debug`
// run where the service is not installed marks nothing. The publisher's fresh start of the key
// (service/status_publish) keeps the mark. Failures are not reported: an unmarked rate is one
// the next start leaves alone, as it would leave any other.
#pragma once

#include <windows.h>

// Whether a mark is there: the adjustment value and whether it was set with the finer call.
// Only both values, with a call word it knows, make a mark; otherwise both outputs are 0.
int ReadOwnRateMark(int *preciseCall, ULONGLONG *adjustment);

// Marks the program's own adjustment as in force (called each time the program sets a new one).
void MarkOwnRate(int preciseCall, ULONGLONG adjustment);

// The program's rate was handed back: the mark goes.
void ClearOwnRateMark(void);
