// Recording fake of the dispatcher and control handler registration.
#pragma once

#include <windows.h>

struct FakeServiceControlState {
    DWORD registerHandlerError = 0;      // non-zero: RegisterServiceCtrlHandlerA fails with it
    LPHANDLER_FUNCTION handler = NULL;   // the handler the service registered
    // The dispatcher: outside the manager it fails at once with this error; when it is 0 it
    // runs the first entry's main function on the calling thread and returns TRUE.
    DWORD dispatcherError = 1063;        // ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
};

extern FakeServiceControlState g_fakeServiceControl;

extern const SERVICE_STATUS_HANDLE kFakeStatusHandle;

void FakeServiceControlReset();
