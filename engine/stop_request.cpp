// The stop event and the one way to signal it.
#include "engine/stop_request.h"

StopRequestState g_stopRequest = {NULL, SRWLOCK_INIT};

int CreateStopEvent(void)
{
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    // The lock leaves the last error alone: a failure's error is still there for the caller.
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    g_stopRequest.stopEvent = event;
    ReleaseSRWLockExclusive(&g_stopRequest.lock);
    return event != NULL;
}

void CloseStopEvent(void)
{
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    if (g_stopRequest.stopEvent) {
        CloseHandle(g_stopRequest.stopEvent);
        g_stopRequest.stopEvent = NULL;
    }
    ReleaseSRWLockExclusive(&g_stopRequest.lock);
}

void RequestStop(void)
{
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    if (g_stopRequest.stopEvent)
        SetEvent(g_stopRequest.stopEvent);
    ReleaseSRWLockExclusive(&g_stopRequest.lock);
}
