// Recording fake of the Service Control Manager and of the system's error texts.
#include "fake_service_manager.h"

#include <cstring>
#include <mutex>
#include <set>

#include "fake_kernel.h"
#include "fake_platform.h"

FakeServiceManagerState g_fakeServiceManager;

namespace {

// Blocks FormatMessageA handed out; LocalFree may come from any thread.
std::mutex g_textMutex;
std::set<char *> g_liveTexts;

// Wine 8.0's texts, checked with FormatMessageA under Wine.
const std::map<DWORD, std::string> kWineTexts = {
    {ERROR_ACCESS_DENIED, "Access denied.\r\n"},
    {ERROR_INVALID_HANDLE, "Invalid handle.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "Insufficient buffer.\r\n"},
    {ERROR_SERVICE_DOES_NOT_EXIST, "Service does not exist.\r\n"},
    {ERROR_SERVICE_NOT_ACTIVE, "Service not active.\r\n"},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "Service marked for delete.\r\n"},
    {ERROR_SERVICE_EXISTS, "Service exists.\r\n"},
    // A text with an insert: with no arguments given, Wine refuses it.
    {193, "%1 is not a valid Win32 application.\r\n"},
};

std::string Text(LPCSTR text) { return text ? "<" + std::string(text) + ">" : "(null)"; }

// A list of strings ended by an empty one.
std::string List(LPCSTR list)
{
    if (!list)
        return "(null)";
    std::string shown = "{";
    for (const char *item = list; *item; item += std::strlen(item) + 1)
        shown += (shown.size() > 1 ? "," : "") + Text(item);
    return shown + "}";
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::uintptr_t Key(SC_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

SC_HANDLE NewHandle(bool manager)
{
    const std::uintptr_t handle = g_fakeServiceManager.nextHandle++;
    g_fakeServiceManager.handles[handle] = manager;
    return reinterpret_cast<SC_HANDLE>(handle);
}

// Whether `handle` is open and of the kind wanted; counts a use of any other handle.
bool IsOpen(SC_HANDLE handle, bool manager)
{
    auto found = g_fakeServiceManager.handles.find(Key(handle));
    if (found != g_fakeServiceManager.handles.end() && found->second == manager)
        return true;
    ++g_fakeServiceManager.deadHandleUses;
    return false;
}

SERVICE_STATUS StatusIn(DWORD state)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_STOPPED ? 0 : SERVICE_ACCEPT_STOP;
    return status;
}

char *Allocate(const std::string &text)
{
    char *block = new char[text.size() + 1];
    std::memcpy(block, text.c_str(), text.size() + 1);
    std::lock_guard<std::mutex> lock(g_textMutex);
    g_liveTexts.insert(block);
    return block;
}

// The text FormatMessageA gives for `id`, or the error it fails with.
DWORD FindText(DWORD id, std::string *text)
{
    if (g_fakeServiceManager.anyCodeText) {
        *text = *g_fakeServiceManager.anyCodeText;
        return 0;
    }
    auto found = g_fakeServiceManager.texts.find(id);
    if (found == g_fakeServiceManager.texts.end())
        return ERROR_MR_MID_NOT_FOUND;
    *text = found->second;
    return 0;
}

}  // namespace

void FakeServiceManagerReset()
{
    {
        std::lock_guard<std::mutex> lock(g_textMutex);
        for (char *text : g_liveTexts)
            delete[] text;
        g_liveTexts.clear();
    }
    g_fakeServiceManager = FakeServiceManagerState{};
    g_fakeServiceManager.texts = kWineTexts;
}

int FakeOpenServiceHandles() { return static_cast<int>(g_fakeServiceManager.handles.size()); }

int FakeLiveMessageTexts()
{
    std::lock_guard<std::mutex> lock(g_textMutex);
    return static_cast<int>(g_liveTexts.size());
}

bool FakeFreeMessageText(HLOCAL memory)
{
    std::lock_guard<std::mutex> lock(g_textMutex);
    char *text = static_cast<char *>(memory);
    if (g_liveTexts.erase(text) == 0)
        return false;
    delete[] text;
    return true;
}

// ---- advapi32: the Service Control Manager ----

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess)
{
    FakeRecord("OpenSCManagerA %s %s 0x%x", Text(machineName).c_str(), Text(databaseName).c_str(), desiredAccess);
    if (g_fakeServiceManager.openManagerError != 0) {
        Fail(g_fakeServiceManager.openManagerError);
        return NULL;
    }
    return NewHandle(true);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName, DWORD desiredAccess,
                                DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                                LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR password)
{
    FakeRecord("CreateServiceA %p %s %s 0x%x %u %u %u %s %s %p %s %s %s", static_cast<void *>(manager),
               Text(serviceName).c_str(), Text(displayName).c_str(), desiredAccess, serviceType, startType,
               errorControl, Text(binaryPathName).c_str(), Text(loadOrderGroup).c_str(), static_cast<void *>(tagId),
               List(dependencies).c_str(), Text(serviceStartName).c_str(), Text(password).c_str());
    g_fakeServiceManager.created.push_back(FakeCreateCall{
        serviceName ? serviceName : "", displayName ? displayName : "", desiredAccess, serviceType, startType,
        errorControl, binaryPathName ? binaryPathName : "", loadOrderGroup == NULL, tagId == NULL,
        List(dependencies), serviceStartName == NULL, password == NULL});
    if (!IsOpen(manager, true)) {
        Fail(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (g_fakeServiceManager.createServiceError != 0) {
        Fail(g_fakeServiceManager.createServiceError);
        return NULL;
    }
    if (g_fakeServiceManager.installed) {
        Fail(ERROR_SERVICE_EXISTS);
        return NULL;
    }
    g_fakeServiceManager.installed = true;
    return NewHandle(false);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess)
{
    FakeRecord("OpenServiceA %p %s 0x%x", static_cast<void *>(manager), Text(serviceName).c_str(), desiredAccess);
    if (!IsOpen(manager, true)) {
        Fail(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (g_fakeServiceManager.openServiceError != 0) {
        Fail(g_fakeServiceManager.openServiceError);
        return NULL;
    }
    if (!g_fakeServiceManager.installed) {
        Fail(ERROR_SERVICE_DOES_NOT_EXIST);
        return NULL;
    }
    return NewHandle(false);
}

// Only the stop control is modelled. As on Windows, a service that is not active still
// has its (stopped) status returned with the failure.
BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS serviceStatus)
{
    FakeRecord("ControlService %p %u", static_cast<void *>(service), control);
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    if (control != SERVICE_CONTROL_STOP)
        return Fail(ERROR_INVALID_PARAMETER);
    g_fakeServiceManager.controlRecord = serviceStatus;
    if (!g_fakeServiceManager.running) {
        *serviceStatus = StatusIn(SERVICE_STOPPED);
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    }
    g_fakeServiceManager.running = false;
    *serviceStatus = StatusIn(g_fakeServiceManager.stateAfterStop);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS serviceStatus)
{
    FakeRecord("QueryServiceStatus %p", static_cast<void *>(service));
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    g_fakeServiceManager.queryRecord = serviceStatus;
    FakeQueryAnswer answer{SERVICE_STOPPED, 0};
    if (!g_fakeServiceManager.queries.empty()) {
        answer = g_fakeServiceManager.queries.front();
        g_fakeServiceManager.queries.pop_front();
    }
    if (answer.error != 0)
        return Fail(answer.error);
    *serviceStatus = StatusIn(answer.state);
    return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE service)
{
    FakeRecord("DeleteService %p", static_cast<void *>(service));
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    if (g_fakeServiceManager.deleteServiceError != 0)
        return Fail(g_fakeServiceManager.deleteServiceError);
    g_fakeServiceManager.installed = false;
    return TRUE;
}

// Recorded with what each level carries: "description <text>", "failure-actions <reset s>
// <reboot message> <command> <type>/<delay ms>...", "failure-actions-flag <flag>".
BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info)
{
    std::string shown = "level " + std::to_string(infoLevel);
    if (infoLevel == SERVICE_CONFIG_DESCRIPTION) {
        shown = "description " + Text(static_cast<SERVICE_DESCRIPTIONA *>(info)->lpDescription);
    } else if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const SERVICE_FAILURE_ACTIONSA &actions = *static_cast<SERVICE_FAILURE_ACTIONSA *>(info);
        shown = "failure-actions " + std::to_string(actions.dwResetPeriod) + " " + Text(actions.lpRebootMsg) + " " +
                Text(actions.lpCommand);
        for (DWORD i = 0; i < actions.cActions; ++i)
            shown += " " + std::to_string(actions.lpsaActions[i].Type) + "/" + std::to_string(actions.lpsaActions[i].Delay);
    } else if (infoLevel == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
        shown = "failure-actions-flag " +
                std::to_string(static_cast<SERVICE_FAILURE_ACTIONS_FLAG *>(info)->fFailureActionsOnNonCrashFailures);
    }
    FakeRecord("ChangeServiceConfig2A %p %s", static_cast<void *>(service), shown.c_str());
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    if (g_fakeServiceManager.changeConfigError != 0)
        return Fail(g_fakeServiceManager.changeConfigError);
    return TRUE;
}

BOOL WINAPI QueryServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                                       PSECURITY_DESCRIPTOR securityDescriptor, DWORD bufferSize, LPDWORD bytesNeeded)
{
    FakeRecord("QueryServiceObjectSecurity %p 0x%x %u", static_cast<void *>(service), securityInformation, bufferSize);
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    *bytesNeeded = FakeWriteDescriptor(g_fakeServiceManager.dacl, securityDescriptor, bufferSize);
    if (*bytesNeeded > bufferSize)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    return TRUE;
}

BOOL WINAPI SetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                                     PSECURITY_DESCRIPTOR securityDescriptor)
{
    const std::string text = FakeDescriptorText(securityDescriptor);
    FakeRecord("SetServiceObjectSecurity %p 0x%x %s", static_cast<void *>(service), securityInformation, text.c_str());
    if (!IsOpen(service, false))
        return Fail(ERROR_INVALID_HANDLE);
    if (g_fakeServiceManager.securityKept)
        g_fakeServiceManager.dacl = text;
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE object)
{
    FakeRecord("CloseServiceHandle %p", static_cast<void *>(object));
    if (g_fakeServiceManager.handles.erase(Key(object)) == 0) {
        ++g_fakeServiceManager.deadHandleUses;
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

// ---- kernel32: error texts ----

// Only the form that allocates the text and takes it from the system is modelled. As Wine
// does, the buffer is set to null first, a code without a text fails with
// ERROR_MR_MID_NOT_FOUND, a text with an insert fails with ERROR_INVALID_PARAMETER when no
// arguments are given, and success leaves the last error as it was.
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                            DWORD size, va_list *arguments)
{
    FakeRecord("FormatMessageA 0x%x %p %u %u %u %p", flags, source, messageId, languageId, size,
               static_cast<void *>(arguments));
    const DWORD modelled = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
    if ((flags & modelled) != modelled || buffer == NULL)
        return Fail(ERROR_INVALID_PARAMETER);
    LPSTR *text = reinterpret_cast<LPSTR *>(buffer);
    *text = NULL;
    std::string found;
    const DWORD error = FindText(messageId, &found);
    if (error != 0)
        return Fail(error);
    const bool inserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && arguments == NULL;
    if (inserts && found.find('%') != std::string::npos)
        return Fail(ERROR_INVALID_PARAMETER);
    if (found.empty())
        return 0;
    *text = Allocate(found);
    return static_cast<DWORD>(found.size());
}
