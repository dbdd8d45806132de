// The service's event source.
#include "service/event_log.h"

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "base/service_names.h"

namespace {

const char kApplicationLogKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

// The source's key: the Application log's key and the service name.
struct SourceKeyPath {
    char text[sizeof kApplicationLogKeyPath + sizeof kServiceName];
};

SourceKeyPath EventSourceKeyPath(void)
{
    SourceKeyPath path;
    std::snprintf(path.text, sizeof path.text, "%s\\%s", kApplicationLogKeyPath, kServiceName);
    return path;
}

const DWORD kTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// The registry answers with an error code, not with the last error: it is made the last
// error, so that it is read and shown as every other failure is.
int Failed(LONG result, const char *call, const char **failedCall)
{
    SetLastError(static_cast<DWORD>(result));
    *failedCall = call;
    return 0;
}

LONG SetValue(HKEY key, const char *name, DWORD type, const void *data, DWORD size)
{
    return RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
}

}  // namespace

void WriteEvent(WORD type, DWORD eventId, WORD stringCount, LPCSTR *strings)
{
    if (g_console.consoleMode)
        return;
    const HANDLE source = RegisterEventSourceA(NULL, kServiceName);
    if (source == NULL)
        return;
    ReportEventA(source, type, 0, eventId, NULL, stringCount, 0, strings, NULL);
    DeregisterEventSource(source);
}

int InstallEventSource(const char *programPath, const char **failedCall)
{
    HKEY key;
    DWORD disposition;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, EventSourceKeyPath().text, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, NULL, &key, &disposition);
    if (result != ERROR_SUCCESS)
        return Failed(result, "RegCreateKeyEx", failedCall);
    const DWORD pathSize = static_cast<DWORD>(std::strlen(programPath) + 1);
    result = SetValue(key, "EventMessageFile", REG_EXPAND_SZ, programPath, pathSize);
    if (result == ERROR_SUCCESS)
        result = SetValue(key, "TypesSupported", REG_DWORD, &kTypesSupported, sizeof kTypesSupported);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 1 : Failed(result, "RegSetValueEx", failedCall);
}

int RemoveEventSource(void)
{
    const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, EventSourceKeyPath().text);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        return 1;
    SetLastError(static_cast<DWORD>(result));
    return 0;
}
