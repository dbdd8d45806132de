// The package's custom action library, which Windows Installer loads from the package and
// calls by name; linked by the Windows builds only. It never imports the reader library: it
// runs before the maker's ZYN_NTTC.dll is on the machine.
//
//   CheckSettings    immediate, before anything changes: a refused property fails the installation
//   CompleteService  deferred, as LocalSystem, after the tables installed the service
//   RemoveService    deferred, as LocalSystem, at the removal (and an upgrade's removal of the
//                    older version), before the tables stop and delete the service
//
// Each takes the same data, "TIMEBASE;SLOP;PRECISE;EDGEDELAY;program path" (the immediate
// one from the property the package sets for the deferred one). Every message goes to the
// installer: an error it shows and logs for a refusal, a log line otherwise.
#include <windows.h>

#include <msiquery.h>

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "base/service_names.h"
#include "service/error_text.h"
#include "service/package_action.h"

namespace {

struct InstallerState {
    MSIHANDLE session;
    INSTALLMESSAGE messageKind;
    char data[PACKAGE_DATA_SIZE];
};

InstallerState g_installer;

const char kDeferredAction[] = "CompleteService";
const char kLibraryName[] = "ZYN_NTTC.dll";

void ToInstaller(const char *message)
{
    MSIHANDLE record = MsiCreateRecord(1);
    MsiRecordSetStringA(record, 0, "[1]");
    MsiRecordSetStringA(record, 1, message);
    MsiProcessMessage(g_installer.session, g_installer.messageKind, record);
    MsiCloseHandle(record);
}

// A deferred action sees only CustomActionData; an immediate one reads the property itself.
int BeginAction(MSIHANDLE session, INSTALLMESSAGE messageKind, const char *property)
{
    g_installer.session = session;
    g_installer.messageKind = messageKind;
    g_console.printSink = ToInstaller;
    DWORD size = sizeof g_installer.data;
    if (MsiGetPropertyA(session, property, g_installer.data, &size) == ERROR_SUCCESS)
        return 1;
    ConsolePrint("The installer's data for %s cannot be read.\n", kDisplayName);
    return 0;
}

// The program binds the reader library at load: without it beside the program the service
// cannot start, and it starts at the next boot or `sc start` once the library is there.
void StartWhenTheLibraryIsThere(const char *programPath)
{
    const char *name = std::strrchr(programPath, '\\');
    const int folderLength = name != NULL ? static_cast<int>(name + 1 - programPath) : 0;
    char library[PACKAGE_DATA_SIZE];
    std::snprintf(library, sizeof library, "%.*s%s", folderLength, programPath, kLibraryName);
    if (GetFileAttributesA(library) == INVALID_FILE_ATTRIBUTES) {
        ConsolePrint("%s is not beside the program: %s starts once it is there (at the next boot, or sc start %s).\n",
                     kLibraryName, kDisplayName, kServiceName);
        return;
    }
    char text[LAST_ERROR_TEXT_SIZE];
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager != NULL ? OpenServiceA(manager, kServiceName, SERVICE_START) : NULL;
    if (service == NULL || !StartServiceA(service, 0, NULL))
        ConsolePrint("StartService failed - %s\n", FormatLastError(text, sizeof text));
    if (service != NULL)
        CloseServiceHandle(service);
    if (manager != NULL)
        CloseServiceHandle(manager);
}

}  // namespace

extern "C" __declspec(dllexport) UINT WINAPI CheckSettings(MSIHANDLE session)
{
    if (!BeginAction(session, INSTALLMESSAGE_ERROR, kDeferredAction))
        return ERROR_INSTALL_FAILURE;
    return CheckPackageSettings(g_installer.data) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI CompleteService(MSIHANDLE session)
{
    if (!BeginAction(session, INSTALLMESSAGE_INFO, "CustomActionData"))
        return ERROR_INSTALL_FAILURE;
    if (!CompletePackageInstall(g_installer.data))
        return ERROR_INSTALL_FAILURE;
    StartWhenTheLibraryIsThere(g_packageAction.fields[PACKAGE_PROPERTY_COUNT]);
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT WINAPI RemoveService(MSIHANDLE session)
{
    g_installer.session = session;
    g_installer.messageKind = INSTALLMESSAGE_INFO;
    g_console.printSink = ToInstaller;
    RemovePackageService();
    return ERROR_SUCCESS;
}
