// Stand-in <windows.h>: the multimedia timer's resolution (winmm), which <windows.h> brings
// in through <mmsystem.h>.
#pragma once

typedef UINT MMRESULT;

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

MMRESULT WINAPI timeBeginPeriod(UINT period);
MMRESULT WINAPI timeEndPeriod(UINT period);
