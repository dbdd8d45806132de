// Installing and removing the service: the work of the `-load` and `-unload` runs.
#include "service/service_install.h"

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "base/program_path.h"
#include "base/service_names.h"
#include "service/status_report.h"

ServiceInstallState g_serviceInstall;

namespace {

// The service needs no other service started before it. The manager reads dependencies
// as strings up to an empty one, so an empty list is an empty string and the list's own
// terminator: the two bytes "\0\0".
const char kNoDependencies[] = "\0";

// The program's longest path (PROGRAM_PATH_SIZE - 1 characters), two quotes, terminator.
enum { IMAGE_PATH_SIZE = PROGRAM_PATH_SIZE + 2 };

const DWORD kStopPollMs = 1000;

// A system text ends with "\r\n", which the console message supplies itself.
const DWORD kLineEndLength = 2;

// What FormatLastError adds to the text with its line end cut: " (0x", up to 8 digits,
// ")" and the terminator, less the 2 characters of the cut line end.
const DWORD kCodeRoom = 14;

// Call it right after the failing call, before anything else (printing included) can
// change the last error.
const char *LastErrorText(void)
{
    return FormatLastError(g_serviceInstall.errorText, sizeof g_serviceInstall.errorText);
}

// The manager runs the image path as a command line. Unquoted, a path with a space is
// ambiguous: for "C:\Program Files\Horavex\RUZivEr2.exe" the manager tries
// "C:\Program.exe" first, a file that someone other than the administrator may plant.
void BuildImagePath(const char *programPath, char *imagePath)
{
    if (std::strchr(programPath, ' ') != NULL)
        std::snprintf(imagePath, IMAGE_PATH_SIZE, "\"%s\"", programPath);
    else
        std::snprintf(imagePath, IMAGE_PATH_SIZE, "%s", programPath);
}

SC_HANDLE OpenManager(void)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager == NULL) {
        const char *text = LastErrorText();
        ConsolePrint("OpenSCManager failed - %s\n", text);
    }
    return manager;
}

// No account and no password: the service runs as LocalSystem, which may set the clock.
void CreateTheService(SC_HANDLE manager, const char *imagePath)
{
    SC_HANDLE service = CreateServiceA(manager, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       imagePath, NULL, NULL, kNoDependencies, NULL, NULL);
    if (service == NULL) {
        const char *text = LastErrorText();
        ConsolePrint("CreateService failed - %s\n", text);
        return;
    }
    ConsolePrint("%s loaded.\n", kDisplayName);
    CloseServiceHandle(service);
}

// The service's closing sequence takes a few seconds; a dot a second shows it is still
// going. There is no limit: how long a stop takes is the service's to decide, and a
// service deleted while it still runs lingers, marked for deletion, until it stops.
void WaitWhileStopPending(SC_HANDLE service, SERVICE_STATUS *status)
{
    for (;;) {
        Sleep(kStopPollMs);
        if (!QueryServiceStatus(service, status) || status->dwCurrentState != SERVICE_STOP_PENDING)
            return;
        ConsolePrint(".");
    }
}

// A service that is not running refuses the stop control; it is deleted all the same, so
// the refusal is not reported. The manager's answers go to the record the service reports
// with: this run is not the service and reports nothing, and has no other thread.
void StopTheService(SC_HANDLE service)
{
    SERVICE_STATUS *status = &g_status.status;
    if (!ControlService(service, SERVICE_CONTROL_STOP, status))
        return;
    ConsolePrint("Stopping %s.", kDisplayName);
    WaitWhileStopPending(service, status);
    if (status->dwCurrentState == SERVICE_STOPPED)
        ConsolePrint("\n%s stopped.\n", kDisplayName);
    else
        ConsolePrint("\n%s failed to stop.\n", kDisplayName);
}

void DeleteTheService(SC_HANDLE service)
{
    if (!DeleteService(service)) {
        const char *text = LastErrorText();
        ConsolePrint("DeleteService failed - %s\n", text);
        return;
    }
    ConsolePrint("%s removed.\n", kDisplayName);
}

// How much of a system text of `length` characters to cut: its line end, or all of a
// text too short to have one.
DWORD LineEndToCut(DWORD length)
{
    return length < kLineEndLength ? length : kLineEndLength;
}

}  // namespace

void InstallService(void)
{
    char programPath[PROGRAM_PATH_SIZE];
    if (!GetProgramPath(programPath)) {
        const char *text = LastErrorText();
        ConsolePrint("Unable to load %s - %s\n", kDisplayName, text);
        return;
    }
    char imagePath[IMAGE_PATH_SIZE];
    BuildImagePath(programPath, imagePath);
    SC_HANDLE manager = OpenManager();
    if (manager == NULL)
        return;
    CreateTheService(manager, imagePath);
    CloseServiceHandle(manager);
}

void RemoveService(void)
{
    SC_HANDLE manager = OpenManager();
    if (manager == NULL)
        return;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service == NULL) {
        const char *text = LastErrorText();
        ConsolePrint("OpenService failed - %s\n", text);
        CloseServiceHandle(manager);
        return;
    }
    StopTheService(service);
    DeleteTheService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

char *FormatLastError(char *buffer, DWORD size)
{
    char *text = NULL;
    // Some system texts hold inserts ("%1 is not a valid Win32 application."). There are no
    // arguments to fill them from, so they stay as written instead of being read from
    // nowhere.
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       NULL, GetLastError(), 0, reinterpret_cast<LPSTR>(&text), 0, NULL);
    // Written as a subtraction so that no length can wrap around; a buffer of less than
    // kCodeRoom bytes holds no text at all.
    if (length == 0 || size < kCodeRoom || length > size - kCodeRoom) {
        if (size > 0)
            buffer[0] = '\0';
    } else {
        text[length - LineEndToCut(length)] = '\0';
        // FormatMessageA leaves the last error alone when it succeeds, so this is still
        // the failed call's code.
        std::snprintf(buffer, size, "%s (0x%x)", text, static_cast<unsigned>(GetLastError()));
    }
    if (text != NULL)
        LocalFree(text);
    return buffer;
}
