// Recording fake of service status, the event log and critical sections.
//
// Each call records one line in g_fake.calls:
//   "SetServiceStatus <handle> <type> <state> <accepted> <exit> <specific> <checkpoint> <hint>"
//   "RegisterEventSourceA <server> <source>"
//   "ReportEventA <source> <type> <category> <id> <sid> <strings> <data size> <data>"
//   "DeregisterEventSource <source>"
//   "InitializeCriticalSection <cs>", "EnterCriticalSection <cs>", ...
// Handles and pointers print as %p ("(nil)" for NULL). An entered critical section records
// its line once it is held, and a left one before it is released, so the lines between the
// two are exactly what ran while it was held. Critical sections are real recursive locks.
// Each test starts from FakeServiceReset(), besides FakeReset().
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FakeEvent {
    WORD type;
    WORD category;
    DWORD eventId;
    std::vector<std::string> strings;
};

// What RegisterEventSourceA hands out when it succeeds.
extern const HANDLE kFakeEventSource;

struct FakeServiceState {
    DWORD setStatusError = 0;       // SetServiceStatus fails with this error when non-zero
    DWORD registerSourceError = 0;  // RegisterEventSourceA fails with this error when non-zero
    std::vector<FakeEvent> events;  // every entry ReportEventA wrote, in order
};

extern FakeServiceState g_fakeService;

void FakeServiceReset();

// The entries written so far; safe while other threads write.
std::vector<FakeEvent> FakeEvents();
