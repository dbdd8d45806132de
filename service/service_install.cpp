// Installing and removing the service: the work of the `-load` and `-unload` runs.
#include "service/service_install.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "base/program_path.h"
#include "base/service_names.h"
#include "engine/settings_word.h"
#include "service/error_text.h"
#include "service/query_grant_rule.h"
#include "service/event_log.h"
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

// A service's descriptor with its access list, and that list as text: a few entries each.
enum { SERVICE_DESCRIPTOR_SIZE = 4096, SERVICE_DACL_TEXT_SIZE = 2048 };
const char kListTooLong[] = "The service's access list is too long to add to: Authenticated Users may not query it.\n";

const char kServiceDescription[] = "Keeps this computer's clock in step with the time code of the reader board.";
const DWORD kRestartDelayMs = 60000;
const DWORD kFailureCountResetSeconds = 86400;

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

// Prints "<call> failed - <system text>"; call it right after the failing call.
void PrintFailure(const char *call)
{
    const char *text = LastErrorText();
    ConsolePrint("%s failed - %s\n", call, text);
}

// No account and no password: the service runs as LocalSystem, which may set the clock.
// Returns the new service's handle, or NULL; *exists is 1 when the service was there already.
SC_HANDLE CreateTheService(SC_HANDLE manager, const char *imagePath, int *exists)
{
    SC_HANDLE service = CreateServiceA(manager, kServiceName, kDisplayName, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       imagePath, NULL, NULL, kNoDependencies, NULL, NULL);
    *exists = service == NULL && GetLastError() == ERROR_SERVICE_EXISTS;
    if (service == NULL) {
        PrintFailure("CreateService");
        return NULL;
    }
    ConsolePrint("%s loaded.\n", kDisplayName);
    return service;
}

// A service installed before (by an older build, or by a -load whose description or event
// source failed) is brought up to date; its image path, account and start type stay as they
// are. Returns its handle, or NULL.
SC_HANDLE OpenTheExistingService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service == NULL)
        PrintFailure("OpenService");
    return service;
}

void ChangeConfig(SC_HANDLE service, DWORD infoLevel, void *info)
{
    if (!ChangeServiceConfig2A(service, infoLevel, info))
        PrintFailure("ChangeServiceConfig2");
}

// The access list as SDDL text (DACL only); 0 when it could not be read, which is printed.
int ReadServiceDacl(SC_HANDLE service, char *dacl, size_t size)
{
    BYTE descriptor[SERVICE_DESCRIPTOR_SIZE];
    DWORD needed;
    if (!QueryServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed)) {
        PrintFailure("QueryServiceObjectSecurity");
        return 0;
    }
    LPSTR text = NULL;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, NULL)) {
        PrintFailure("ConvertSecurityDescriptorToStringSecurityDescriptor");
        return 0;
    }
    // A list cut short must never be set back.
    const int whole = std::snprintf(dacl, size, "%s", text) < static_cast<int>(size);
    LocalFree(text);
    if (!whole)
        ConsolePrint("%s", kListTooLong);
    return whole;
}

int WriteServiceDacl(SC_HANDLE service, const char *dacl)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &descriptor, NULL)) {
        PrintFailure("ConvertStringSecurityDescriptorToSecurityDescriptor");
        return 0;
    }
    const BOOL set = SetServiceObjectSecurity(service, DACL_SECURITY_INFORMATION, descriptor);
    if (!set)
        PrintFailure("SetServiceObjectSecurity");
    LocalFree(descriptor);
    return set;
}

// Any logon may ask how the service is (service/query_grant_rule), so that a monitoring agent
// that logs on over the network or as a batch job can run -status. Added to the list as it
// is, so an administrator's own entries stay; read back, since a manager may take the call
// and keep nothing.
void GrantStatusQueries(SC_HANDLE service)
{
    char dacl[SERVICE_DACL_TEXT_SIZE];
    char granted[SERVICE_DACL_TEXT_SIZE];
    if (!ReadServiceDacl(service, dacl, sizeof dacl))
        return;
    const QueryGrant grant = WithQueryGrant(dacl, granted, sizeof granted);
    if (grant == QUERY_GRANT_REFUSED)
        ConsolePrint("The service's access list reads back empty: Authenticated Users may not query it.\n");
    if (grant == QUERY_GRANT_TOO_LONG)
        ConsolePrint("%s", kListTooLong);
    if (grant != QUERY_GRANT_ADDED || !WriteServiceDacl(service, granted))
        return;
    if (ReadServiceDacl(service, dacl, sizeof dacl) && WithQueryGrant(dacl, granted, sizeof granted) != QUERY_GRANT_HELD)
        ConsolePrint("The service's access list does not keep the grant: Authenticated Users may not query it.\n");
}

// The description is shown by services.msc and `sc qdescription`. The recovery actions: a
// board whose driver comes up after the service would otherwise stop it until the next
// reboot, so the manager starts it again a minute after each of its first two failures,
// then leaves it stopped, and forgets the failures after a day without one. The flag makes
// a stop with a non-zero exit code (a start-up that gave up) count as a failure, not only a
// crash. Any logon may query its status. Each setting is tried whatever became of the one
// before.
void ConfigureTheService(SC_HANDLE service)
{
    SERVICE_DESCRIPTIONA description = {const_cast<LPSTR>(kServiceDescription)};
    ChangeConfig(service, SERVICE_CONFIG_DESCRIPTION, &description);
    SC_ACTION actions[] = {{SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_RESTART, kRestartDelayMs},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSA failureActions = {kFailureCountResetSeconds, NULL, NULL, 3, actions};
    ChangeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions);
    SERVICE_FAILURE_ACTIONS_FLAG onNonCrashFailures = {TRUE};
    ChangeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onNonCrashFailures);
    GrantStatusQueries(service);
}

void RegisterTheEventSource(const char *programPath)
{
    const char *failedCall;
    if (!InstallEventSource(programPath, &failedCall))
        PrintFailure(failedCall);
}

// What a -load completes on the service it created or found: the service's configuration,
// then the program as its event source's message file.
void CompleteTheService(SC_HANDLE service, const char *programPath)
{
    ConfigureTheService(service);
    CloseServiceHandle(service);
    RegisterTheEventSource(programPath);
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

// The event source goes whatever became of the service (deleted before by hand, or not
// deletable now): a source left behind names a program that is gone. Entries written since
// stay readable only while the program's file is where the source's key said. A source that
// is not there is no error.
void RemoveTheEventSource(void)
{
    if (!RemoveEventSource())
        PrintFailure("RegDeleteKey");
}

int DeleteTheService(SC_HANDLE service)
{
    if (!DeleteService(service)) {
        PrintFailure("DeleteService");
        return 0;
    }
    ConsolePrint("%s removed.\n", kDisplayName);
    return 1;
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
    int exists = 0;
    SC_HANDLE service = CreateTheService(manager, imagePath, &exists);
    if (service == NULL && exists)
        service = OpenTheExistingService(manager);
    if (service != NULL)
        CompleteTheService(service, programPath);
    CloseServiceHandle(manager);
}

int CompleteInstalledService(const char *programPath)
{
    SC_HANDLE manager = OpenManager();
    if (manager == NULL)
        return 0;
    SC_HANDLE service = OpenTheExistingService(manager);
    if (service != NULL)
        CompleteTheService(service, programPath);
    CloseServiceHandle(manager);
    return service != NULL;
}

int RefuseBoardDelay(int argc, char **argv)
{
    const char *refusedDelay = RefusedBoardDelay(argc, argv);
    if (refusedDelay != NULL)
        ConsolePrint("The board's delay must be a number of ms from -1000 to 1000 with at most three decimals: %s\n",
                     refusedDelay);
    return refusedDelay != NULL;
}

int SaveSettingsWord(int argc, char **argv)
{
    if (RefuseBoardDelay(argc, argv))
        return 0;
    const char *failedCall;
    if (!StoreSettingsWord(argc, argv, &failedCall))
        PrintFailure(failedCall);
    return 1;
}

void StopServiceForRemoval(void)
{
    SC_HANDLE manager = OpenManager();
    if (manager == NULL)
        return;
    SC_HANDLE service = OpenTheExistingService(manager);
    if (service != NULL) {
        StopTheService(service);
        CloseServiceHandle(service);
    }
    RemoveTheEventSource();
    CloseServiceHandle(manager);
}

void RemoveService(void)
{
    SC_HANDLE manager = OpenManager();
    if (manager == NULL)
        return;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service == NULL) {
        PrintFailure("OpenService");
        RemoveTheEventSource();
        CloseServiceHandle(manager);
        return;
    }
    StopTheService(service);
    DeleteTheService(service);
    RemoveTheEventSource();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}
