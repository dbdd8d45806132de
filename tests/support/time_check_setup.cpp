// The one way the tests start the time-code check.
#include "time_check_setup.h"

void StartTestTimeCheck(LONG slopMs, int useUtc)
{
    g_timeCheck = TimeCheckState{};
    TimeCheckInputs inputs{};
    inputs.boardAddress = TEST_BOARD_ADDRESS;
    inputs.slopMs = slopMs;
    inputs.useUtc = useUtc;
    inputs.token = TEST_TOKEN;
    inputs.privileges.PrivilegeCount = 1;
    inputs.privileges.Privileges[0].Luid = TEST_SYSTEMTIME_LUID;
    inputs.privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    StartTimeCheck(&inputs);
}
