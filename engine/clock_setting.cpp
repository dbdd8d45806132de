// Changing the computer clock.
#include "engine/clock_setting.h"

void EnableClockPrivilege(TimeCheckInputs *inputs)
{
    AdjustTokenPrivileges(inputs->token, FALSE, &inputs->privileges, sizeof inputs->privileges, NULL, NULL);
}

void DisableAllPrivileges(const TimeCheckInputs *inputs) { AdjustTokenPrivileges(inputs->token, TRUE, NULL, 0, NULL, NULL); }

BOOL SetComputerClock(const TimeCheckInputs *inputs, const SYSTEMTIME *time)
{
    if (inputs->useUtc)
        return SetSystemTime(time);
    return SetLocalTime(time) && SetLocalTime(time);
}
