// Recording fake of the dispatcher and control handler registration.
#include "fake_service_control.h"

#include "fake_platform.h"

FakeServiceControlState g_fakeServiceControl;

const SERVICE_STATUS_HANDLE kFakeStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5e);

void FakeServiceControlReset() { g_fakeServiceControl = FakeServiceControlState{}; }

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerA(LPCSTR serviceName, LPHANDLER_FUNCTION handler)
{
    FakeRecord("RegisterServiceCtrlHandlerA %s", serviceName);
    if (g_fakeServiceControl.registerHandlerError != 0) {
        SetLastError(g_fakeServiceControl.registerHandlerError);
        return NULL;
    }
    g_fakeServiceControl.handler = handler;
    return kFakeStatusHandle;
}

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA *serviceStartTable)
{
    FakeRecord("StartServiceCtrlDispatcherA %s", serviceStartTable[0].lpServiceName);
    if (g_fakeServiceControl.dispatcherError != 0) {
        SetLastError(g_fakeServiceControl.dispatcherError);
        return FALSE;
    }
    char *noArguments[] = {serviceStartTable[0].lpServiceName, NULL};
    serviceStartTable[0].lpServiceProc(1, noArguments);
    return TRUE;
}
