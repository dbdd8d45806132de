// Changing the computer clock: the clock privilege around each change, and the set itself.
// Both the time-code check and the precise mode change the clock so; the calls are inline, so
// that the check's correcting tick costs what it did when they were its own.
//
// The privilege record and the token come from the worker's start-up (TimeCheckInputs); the
// privilege is enabled just before a change and every privilege disabled right after it.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

inline void EnableClockPrivilege(TimeCheckInputs *inputs)
{
    AdjustTokenPrivileges(inputs->token, FALSE, &inputs->privileges, sizeof inputs->privileges, NULL, NULL);
}

inline void DisableAllPrivileges(const TimeCheckInputs *inputs)
{
    AdjustTokenPrivileges(inputs->token, TRUE, NULL, 0, NULL, NULL);
}

// Sets the clock to `time`, UTC or local time as the inputs say. A local time is set twice:
// SetLocalTime converts to UTC with the daylight-saving state in force before the change, so
// a change across a change of local time's offset would land an hour off; the second call
// converts with the state the first one brought about, and lands on the time. *moved is 1
// when a set was made, even if the second one then failed: the clock has changed.
inline BOOL SetComputerClock(const TimeCheckInputs *inputs, const SYSTEMTIME *time, int *moved)
{
    if (inputs->useUtc)
        return *moved = SetSystemTime(time);
    *moved = SetLocalTime(time);
    return *moved && SetLocalTime(time);
}
