// The stop event, the one way to signal it, and the wait for the worker's closing.
#include "engine/stop_request.h"

StopRequestState g_stopRequest = {NULL, SRWLOCK_INIT, CONDITION_VARIABLE_INIT, 0};

int CreateStopEvent(void)
{
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    // The lock leaves the last error alone: a failure's error is still there for the caller.
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    g_stopRequest.stopEvent = event;
    g_stopRequest.closed = 0;
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

void MarkWorkerClosed(void)
{
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    g_stopRequest.closed = 1;
    ReleaseSRWLockExclusive(&g_stopRequest.lock);
    WakeAllConditionVariable(&g_stopRequest.closedChanged);
}

int WaitForWorkerClosed(DWORD timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    AcquireSRWLockExclusive(&g_stopRequest.lock);
    // A wake may come for no reason: the condition is looked at again, with what is left of
    // the time. A failed wait is taken as the time run out, so that no wait can spin.
    while (g_stopRequest.stopEvent && !g_stopRequest.closed) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until ||
            !SleepConditionVariableSRW(&g_stopRequest.closedChanged, &g_stopRequest.lock, static_cast<DWORD>(until - now), 0))
            break;
    }
    const int closed = !g_stopRequest.stopEvent || g_stopRequest.closed;
    ReleaseSRWLockExclusive(&g_stopRequest.lock);
    return closed;
}
