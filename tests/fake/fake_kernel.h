// Recording fake of events, waits, locks, the process, its token and module, and file
// security. Handles are small numbers handed out in order from 0x100, so tests can name
// them; every open handle is counted until it is closed.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>

struct FakeKernelEvent {
    bool manualReset;
    bool signalled;
};

struct FakeKernelState {
    std::uintptr_t nextHandle = 0x100;
    std::map<std::uintptr_t, FakeKernelEvent> events;
    std::set<std::uintptr_t> otherHandles;  // process, token and thread handles
    bool createEventFails = false;
    int deadHandleUses = 0;  // SetEvent or CloseHandle on a handle that is not open

    // Called at the start of every wait with its 1-based number, before the wait looks at
    // the event: a test stops the worker from here as another thread would.
    std::function<void(int)> onWait;
    int waits = 0;
    int maxWaits = 1000000;  // past this every wait fails, so a runaway loop ends

    // A condition variable's wait really waits, for a wake from another thread: no time
    // passes on the fake, so its time-out never comes. Set, every such wait answers at once
    // that its time ran out.
    bool conditionWaitsTimeOut = false;

    // The system timer's resolution: a refused request answers TIMERR_NOCANDO. Requests and
    // releases are counted, so that a test sees every granted request given back.
    bool timerPeriodRefused = false;
    int timerPeriodsHeld = 0;

    ULONGLONG tickCountMs = 3600000;  // what GetTickCount64 answers: ms since the system started

    DWORD processId = 4242;
    bool openProcessFails = false;
    bool setPriorityFails = false;
    DWORD priorityClass = 0;
    bool openTokenFails = false;
    bool lookupPrivilegeFails = false;
    LUID systemtimeLuid{22, 0};

    PHANDLER_ROUTINE consoleHandler = NULL;  // the handler the program registered

    // A thread runs at once, on its creator's thread, to its end. A window is always made, and
    // GetMessageA answers 0 at once, as on WM_QUIT, so that a window's thread ends.
    WNDPROC windowProcedure = NULL;  // the procedure of the last window class registered

    // The system as -measure asks after it: ntdll's RtlGetVersion is found and answers this
    // record (its size set by the caller), and IsWow64Process this flag.
    bool rtlGetVersionFound = true;
    OSVERSIONINFOEXW version{0, 10, 0, 19045, 2, {}, 0, 0, 0x100, VER_NT_WORKSTATION, 0};
    BOOL wow64 = FALSE;

    std::string modulePath = "C:\\Program Files\\Horavex\\RUZivEr2.exe";
    DWORD moduleFileNameError = 0;  // non-zero: GetModuleFileNameA fails with it

    bool convertDescriptorFails = false;
    bool daclQueryFails = false;
    DWORD setFileSecurityError = 0;
    std::set<std::string *> descriptors;  // live descriptors: each holds its SDDL text
    std::set<char *> descriptorTexts;     // texts ConvertSecurityDescriptorToString... allocated
    std::string appliedDescriptor;        // SDDL of the last descriptor SetFileSecurityA applied
};

extern FakeKernelState g_fakeKernel;

void FakeKernelReset();

// The SDDL text of a live descriptor, or of one a query wrote into a caller's buffer (as
// FakeWriteDescriptor writes it); "?" for anything else.
std::string FakeDescriptorText(PSECURITY_DESCRIPTOR descriptor);

// Writes a descriptor with the SDDL text into a caller's buffer of `size` bytes; returns the
// bytes it takes (nothing is written when they do not fit).
DWORD FakeWriteDescriptor(const std::string &text, void *buffer, DWORD size);

// Handles still open: events, process, token and threads.
int FakeOpenHandles();
