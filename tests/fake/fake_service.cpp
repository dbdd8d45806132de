// Recording fake of service status, the event log and critical sections.
#include "fake_service.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "fake_platform.h"

FakeServiceState g_fakeService;

const HANDLE kFakeEventSource = reinterpret_cast<HANDLE>(0xE7E7);

namespace {

// Guards g_fakeService.events: reports may come from several threads at once.
std::mutex g_eventMutex;

// A critical section keeps its lock where Windows keeps its wait object.
std::recursive_mutex &LockOf(LPCRITICAL_SECTION criticalSection, const char *call)
{
    if (criticalSection->LockSemaphore == NULL) {
        std::fprintf(stderr, "%s %p: the critical section was never initialised\n", call,
                     static_cast<void *>(criticalSection));
        std::abort();
    }
    return *static_cast<std::recursive_mutex *>(criticalSection->LockSemaphore);
}

}  // namespace

void FakeServiceReset()
{
    std::lock_guard<std::mutex> lock(g_eventMutex);
    g_fakeService = FakeServiceState{};
}

std::vector<FakeEvent> FakeEvents()
{
    std::lock_guard<std::mutex> lock(g_eventMutex);
    return g_fakeService.events;
}

// ---- advapi32: service status ----

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE serviceStatus, LPSERVICE_STATUS status)
{
    FakeRecord("SetServiceStatus %p %u %u %u %u %u %u %u", static_cast<void *>(serviceStatus),
               status->dwServiceType, status->dwCurrentState, status->dwControlsAccepted, status->dwWin32ExitCode,
               status->dwServiceSpecificExitCode, status->dwCheckPoint, status->dwWaitHint);
    if (g_fakeService.setStatusError != 0) {
        SetLastError(g_fakeService.setStatusError);
        return FALSE;
    }
    return TRUE;
}

// ---- advapi32: event log ----

HANDLE WINAPI RegisterEventSourceA(LPCSTR uncServerName, LPCSTR sourceName)
{
    FakeRecord("RegisterEventSourceA %p %s", static_cast<const void *>(uncServerName), sourceName);
    if (g_fakeService.registerSourceError != 0) {
        SetLastError(g_fakeService.registerSourceError);
        return NULL;
    }
    return kFakeEventSource;
}

BOOL WINAPI ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid, WORD numStrings,
                         DWORD dataSize, LPCSTR *strings, LPVOID rawData)
{
    FakeRecord("ReportEventA %p %u %u %u %p %u %u %p", eventLog, type, category, eventId, userSid, numStrings,
               dataSize, rawData);
    FakeEvent event{type, category, eventId, {}};
    for (WORD i = 0; i < numStrings; ++i)
        event.strings.push_back(strings[i]);
    std::lock_guard<std::mutex> lock(g_eventMutex);
    g_fakeService.events.push_back(event);
    return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE eventLog)
{
    FakeRecord("DeregisterEventSource %p", eventLog);
    return TRUE;
}

// ---- kernel32: critical sections ----

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION criticalSection)
{
    FakeRecord("InitializeCriticalSection %p", static_cast<void *>(criticalSection));
    *criticalSection = CRITICAL_SECTION{NULL, -1, 0, NULL, new std::recursive_mutex, 0};
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION criticalSection)
{
    LockOf(criticalSection, "EnterCriticalSection").lock();
    FakeRecord("EnterCriticalSection %p", static_cast<void *>(criticalSection));
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION criticalSection)
{
    std::recursive_mutex &lock = LockOf(criticalSection, "LeaveCriticalSection");
    FakeRecord("LeaveCriticalSection %p", static_cast<void *>(criticalSection));
    lock.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION criticalSection)
{
    FakeRecord("DeleteCriticalSection %p", static_cast<void *>(criticalSection));
    delete &LockOf(criticalSection, "DeleteCriticalSection");
    criticalSection->LockSemaphore = NULL;
}
