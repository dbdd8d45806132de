// Recording fake of events, waits, locks, the process, its token and module, and file security.
#include "fake_kernel.h"

#include <sddl.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "fake_platform.h"
#include "fake_service_manager.h"

FakeKernelState g_fakeKernel;

namespace {

std::recursive_mutex g_kernelMutex;

// One real mutex per lock address, made on first use and kept for the rest of the process.
// The table is never destroyed: a lock may still be taken while static objects are torn
// down at exit, and the mutexes stay reachable, so the leak checker does not count them.
std::mutex g_lockTableMutex;
std::map<PSRWLOCK, std::mutex *> &LockTable()
{
    static std::map<PSRWLOCK, std::mutex *> *table = new std::map<PSRWLOCK, std::mutex *>;
    return *table;
}

HANDLE NewHandle(void)
{
    return reinterpret_cast<HANDLE>(g_fakeKernel.nextHandle++);
}

std::uintptr_t Key(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

std::mutex *LockFor(PSRWLOCK lock)
{
    std::lock_guard<std::mutex> guard(g_lockTableMutex);
    std::mutex *&mutex = LockTable()[lock];
    if (!mutex)
        mutex = new std::mutex;
    return mutex;
}

// One real condition variable per address, made and kept as the locks' mutexes are.
std::map<PCONDITION_VARIABLE, std::condition_variable_any *> &ConditionTable()
{
    static std::map<PCONDITION_VARIABLE, std::condition_variable_any *> *table =
        new std::map<PCONDITION_VARIABLE, std::condition_variable_any *>;
    return *table;
}

std::condition_variable_any *ConditionFor(PCONDITION_VARIABLE condition)
{
    std::lock_guard<std::mutex> guard(g_lockTableMutex);
    std::condition_variable_any *&variable = ConditionTable()[condition];
    if (!variable)
        variable = new std::condition_variable_any;
    return variable;
}

// The descriptors the last test left open are freed at exit, before the record that holds
// them goes: the leak checker would count them otherwise.
struct DescriptorsFreedAtExit {
    ~DescriptorsFreedAtExit() { FakeKernelReset(); }
} g_descriptorsFreedAtExit;

}  // namespace

void FakeKernelReset()
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    for (std::string *descriptor : g_fakeKernel.descriptors)
        delete descriptor;
    for (char *text : g_fakeKernel.descriptorTexts)
        delete[] text;
    g_fakeKernel = FakeKernelState{};
}

int FakeOpenHandles()
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    return static_cast<int>(g_fakeKernel.events.size() + g_fakeKernel.otherHandles.size());
}

// ---- events and waits ----

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset, BOOL initialState, LPCSTR name)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("CreateEventA %p %d %d %s", static_cast<void *>(eventAttributes), manualReset, initialState,
               name ? name : "(null)");
    if (g_fakeKernel.createEventFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    HANDLE event = NewHandle();
    g_fakeKernel.events[Key(event)] = FakeKernelEvent{manualReset != 0, initialState != 0};
    return event;
}

BOOL WINAPI SetEvent(HANDLE event)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("SetEvent %p", event);
    auto found = g_fakeKernel.events.find(Key(event));
    if (found == g_fakeKernel.events.end()) {
        ++g_fakeKernel.deadHandleUses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    found->second.signalled = true;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("CloseHandle %p", object);
    if (g_fakeKernel.events.erase(Key(object)) == 0 && g_fakeKernel.otherHandles.erase(Key(object)) == 0) {
        ++g_fakeKernel.deadHandleUses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    int number;
    std::function<void(int)> onWait;
    {
        std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
        FakeRecord("WaitForSingleObject %p %u", handle, milliseconds);
        number = ++g_fakeKernel.waits;
        onWait = g_fakeKernel.onWait;
    }
    if (onWait)
        onWait(number);
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    auto found = g_fakeKernel.events.find(Key(handle));
    if (found == g_fakeKernel.events.end() || number > g_fakeKernel.maxWaits) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (!found->second.signalled)
        return WAIT_TIMEOUT;
    if (!found->second.manualReset)
        found->second.signalled = false;
    return WAIT_OBJECT_0;
}

// Not recorded: a reading of a counter, which a test sets.
ULONGLONG WINAPI GetTickCount64(void) { return g_fakeKernel.tickCountMs; }

// Standard output is the process's own: what is written there can be captured as printf's is.
HANDLE WINAPI GetStdHandle(DWORD stdHandle) { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(stdHandle)); }

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED)
{
    if (file != GetStdHandle(STD_OUTPUT_HANDLE))
        return FALSE;
    *bytesWritten = static_cast<DWORD>(std::fwrite(buffer, 1, bytesToWrite, stdout));
    std::fflush(stdout);
    return TRUE;
}

// ---- the system timer's resolution (winmm) ----

MMRESULT WINAPI timeBeginPeriod(UINT period)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("timeBeginPeriod %u", period);
    if (g_fakeKernel.timerPeriodRefused)
        return TIMERR_NOCANDO;
    ++g_fakeKernel.timerPeriodsHeld;
    return TIMERR_NOERROR;
}

MMRESULT WINAPI timeEndPeriod(UINT period)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("timeEndPeriod %u", period);
    if (g_fakeKernel.timerPeriodsHeld == 0)
        return TIMERR_NOCANDO;
    --g_fakeKernel.timerPeriodsHeld;
    return TIMERR_NOERROR;
}

// ---- slim reader/writer locks: real mutexes, so that races are real ----

void WINAPI AcquireSRWLockExclusive(PSRWLOCK lock) { LockFor(lock)->lock(); }

void WINAPI ReleaseSRWLockExclusive(PSRWLOCK lock) { LockFor(lock)->unlock(); }

// Recorded as a wait is, while the caller still holds the lock; then the lock's mutex is
// given up and taken back around a real wait, as the platform does.
BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE condition, PSRWLOCK lock, DWORD milliseconds, ULONG flags)
{
    FakeRecord("SleepConditionVariableSRW %u %u", milliseconds, flags);
    if (g_fakeKernel.conditionWaitsTimeOut) {
        SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    std::unique_lock<std::mutex> held(*LockFor(lock), std::adopt_lock);
    ConditionFor(condition)->wait(held);
    held.release();
    return TRUE;
}

// Not recorded, as the locks are not.
void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE condition) { ConditionFor(condition)->notify_all(); }

// ---- the process, its token and module ----

DWORD WINAPI GetCurrentProcessId(void)
{
    FakeRecord("GetCurrentProcessId");
    return g_fakeKernel.processId;
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("OpenProcess 0x%x %d %u", desiredAccess, inheritHandle, processId);
    if (g_fakeKernel.openProcessFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return NULL;
    }
    HANDLE process = NewHandle();
    g_fakeKernel.otherHandles.insert(Key(process));
    return process;
}

BOOL WINAPI SetPriorityClass(HANDLE process, DWORD priorityClass)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("SetPriorityClass %p 0x%x", process, priorityClass);
    if (g_fakeKernel.setPriorityFails || g_fakeKernel.otherHandles.count(Key(process)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_fakeKernel.priorityClass = priorityClass;
    return TRUE;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("OpenProcessToken %p 0x%x", process, desiredAccess);
    if (g_fakeKernel.openTokenFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *token = NewHandle();
    g_fakeKernel.otherHandles.insert(Key(*token));
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid)
{
    FakeRecord("LookupPrivilegeValueA %s %s", systemName ? systemName : "(null)", name);
    if (g_fakeKernel.lookupPrivilegeFails) {
        SetLastError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    *luid = g_fakeKernel.systemtimeLuid;
    return TRUE;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE handlerRoutine, BOOL add)
{
    FakeRecord("SetConsoleCtrlHandler %d", add);
    g_fakeKernel.consoleHandler = handlerRoutine;
    return TRUE;
}

// ---- threads, and a thread's window (user32) ----

// The handle is counted open before the thread runs, so that it is the handle the thread's
// calls come after; the thread has ended by the time its creator gets it.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES threadAttributes, SIZE_T stackSize,
                           LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD creationFlags, LPDWORD threadId)
{
    HANDLE thread;
    {
        std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
        FakeRecord("CreateThread %p %zu %p 0x%x %p", static_cast<void *>(threadAttributes), stackSize, parameter,
                   creationFlags, static_cast<void *>(threadId));
        thread = NewHandle();
        g_fakeKernel.otherHandles.insert(Key(thread));
    }
    startAddress(parameter);
    return thread;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA *windowClass)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("RegisterClassA 0x%x %s %p", windowClass->style, windowClass->lpszClassName,
               static_cast<void *>(windowClass->hInstance));
    g_fakeKernel.windowProcedure = windowClass->lpfnWndProc;
    return 0xC000;  // the first atom of a registered class
}

// A window is no kernel object: its handle is out of the range of the kernel's.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    FakeRecord("CreateWindowExA 0x%x %s %s 0x%x %d %d %d %d %p %p %p %p", exStyle, className, windowName, style, x, y,
               width, height, static_cast<void *>(parent), static_cast<void *>(menu), static_cast<void *>(instance),
               param);
    return reinterpret_cast<HWND>(0x10010);
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax)
{
    FakeRecord("GetMessageA %p %u %u", static_cast<void *>(window), filterMin, filterMax);
    *message = MSG{};
    return 0;
}

LRESULT WINAPI DispatchMessageA(const MSG *message)
{
    FakeRecord("DispatchMessageA %u", message->message);
    return 0;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    FakeRecord("DefWindowProcA %p %u %zu %ld", static_cast<void *>(window), message, static_cast<std::size_t>(wParam),
               static_cast<long>(lParam));
    return 0;
}

// Fills the buffer as Windows does: a path that does not fit is cut to size - 1
// characters and terminated, the result is the size, and the error is
// ERROR_INSUFFICIENT_BUFFER.
// Lookups, not recorded: the precise mode's calls are found nowhere (fake_platform.cpp);
// ntdll's RtlGetVersion answers g_fakeKernel.version, and is recorded when called.
namespace {

HMODULE const kFakeNtdll = reinterpret_cast<HMODULE>(0x7000);

LONG WINAPI FakeRtlGetVersion(PRTL_OSVERSIONINFOEXW version)
{
    FakeRecord("RtlGetVersion %u", version->dwOSVersionInfoSize);
    const DWORD size = version->dwOSVersionInfoSize;
    *version = g_fakeKernel.version;
    version->dwOSVersionInfoSize = size;
    return 0;
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    return name && strcasecmp(name, "ntdll.dll") == 0 ? kFakeNtdll : NULL;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module != kFakeNtdll || !g_fakeKernel.rtlGetVersionFound || std::strcmp(name, "RtlGetVersion") != 0)
        return NULL;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(FakeRtlGetVersion));
}

// The pseudo-handle of the process, as Windows gives it: nothing to close.
HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64Process)
{
    FakeRecord("IsWow64Process %p", process);
    *wow64Process = g_fakeKernel.wow64;
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    FakeRecord("GetModuleFileNameA %p %u", module, size);
    if (g_fakeKernel.moduleFileNameError != 0) {
        SetLastError(g_fakeKernel.moduleFileNameError);
        return 0;
    }
    const std::string &path = g_fakeKernel.modulePath;
    if (size == 0)
        return 0;
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

// Local memory is either a security descriptor or an error text from FormatMessageA.
HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    const bool message = FakeFreeMessageText(memory);
    char *text = static_cast<char *>(memory);
    const bool descriptorText = g_fakeKernel.descriptorTexts.erase(text) != 0;
    FakeRecord("LocalFree %s", !memory ? "(null)" : message ? "message" : descriptorText ? "text" : "descriptor");
    if (descriptorText)
        delete[] text;
    std::string *descriptor = static_cast<std::string *>(memory);
    if (g_fakeKernel.descriptors.erase(descriptor))
        delete descriptor;
    return NULL;
}

// ---- file security ----

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR stringSecurityDescriptor,
                                                                 DWORD stringSDRevision,
                                                                 PSECURITY_DESCRIPTOR *securityDescriptor,
                                                                 PULONG securityDescriptorSize)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("ConvertStringSecurityDescriptorToSecurityDescriptorA %s %u %p", stringSecurityDescriptor,
               stringSDRevision, static_cast<void *>(securityDescriptorSize));
    if (g_fakeKernel.convertDescriptorFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string *descriptor = new std::string(stringSecurityDescriptor);
    g_fakeKernel.descriptors.insert(descriptor);
    *securityDescriptor = descriptor;
    return TRUE;
}

// A descriptor in a caller's buffer is its SDDL text after this mark.
const char kBufferDescriptorMark[] = "fake-sd:";

std::string FakeDescriptorText(PSECURITY_DESCRIPTOR descriptor)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    std::string *text = static_cast<std::string *>(descriptor);
    if (g_fakeKernel.descriptors.count(text))
        return *text;
    const char *bytes = static_cast<const char *>(descriptor);
    if (bytes && std::strncmp(bytes, kBufferDescriptorMark, sizeof kBufferDescriptorMark - 1) == 0)
        return bytes + sizeof kBufferDescriptorMark - 1;
    return "?";
}

DWORD FakeWriteDescriptor(const std::string &text, void *buffer, DWORD size)
{
    const std::string whole = kBufferDescriptorMark + text;
    const DWORD needed = static_cast<DWORD>(whole.size() + 1);
    if (needed <= size)
        std::memcpy(buffer, whole.c_str(), needed);
    return needed;
}

BOOL WINAPI ConvertSecurityDescriptorToStringSecurityDescriptorA(PSECURITY_DESCRIPTOR securityDescriptor,
                                                                 DWORD requestedStringSDRevision,
                                                                 SECURITY_INFORMATION securityInformation,
                                                                 LPSTR *stringSecurityDescriptor, PULONG stringLength)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("ConvertSecurityDescriptorToStringSecurityDescriptorA %u 0x%x %p", requestedStringSDRevision,
               securityInformation, static_cast<void *>(stringLength));
    const std::string text = FakeDescriptorText(securityDescriptor);
    if (text == "?") {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char *copy = new char[text.size() + 1];
    std::memcpy(copy, text.c_str(), text.size() + 1);
    g_fakeKernel.descriptorTexts.insert(copy);
    *stringSecurityDescriptor = copy;
    return TRUE;
}

// A descriptor's DACL is present when its text has a "D:" part, and null when that part
// grants nothing explicitly ("D:NO_ACCESS_CONTROL").
BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR securityDescriptor, LPBOOL daclPresent, PACL *dacl,
                                      LPBOOL daclDefaulted)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("GetSecurityDescriptorDacl");
    std::string *descriptor = static_cast<std::string *>(securityDescriptor);
    if (g_fakeKernel.daclQueryFails || g_fakeKernel.descriptors.count(descriptor) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::size_t part = descriptor->find("D:");
    *daclPresent = part != std::string::npos;
    const bool isNull = part == std::string::npos || descriptor->compare(part, 20, "D:NO_ACCESS_CONTROL") == 0;
    *dacl = isNull ? nullptr : reinterpret_cast<PACL>(&(*descriptor)[part]);
    *daclDefaulted = FALSE;
    return TRUE;
}

BOOL WINAPI SetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION securityInformation,
                             PSECURITY_DESCRIPTOR securityDescriptor)
{
    std::lock_guard<std::recursive_mutex> lock(g_kernelMutex);
    FakeRecord("SetFileSecurityA %s %u", fileName, securityInformation);
    std::string *descriptor = static_cast<std::string *>(securityDescriptor);
    if (g_fakeKernel.setFileSecurityError != 0) {
        SetLastError(g_fakeKernel.setFileSecurityError);
        return FALSE;
    }
    if (g_fakeKernel.descriptors.count(descriptor) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_fakeKernel.appliedDescriptor = *descriptor;
    return TRUE;
}
