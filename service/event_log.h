// The service's event source: its entries, and its registration by -load and -unload.
//
// The source is "ZYN_NT_Horavex2". -load registers the program as its message file under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZYN_NT_Horavex2, so that Event
// Viewer shows each entry with the text of its identifier (service/event_messages.mc) and
// every string it carries; -unload removes that key once the service is deleted.
#pragma once

#include <windows.h>

// Writes one entry of the given type (EVENTLOG_ERROR_TYPE, ...) and identifier with its
// strings. The source is registered and released anew for each entry. Nothing in console
// mode; an entry that cannot be written is lost, and nothing says so.
void WriteEvent(WORD type, DWORD eventId, WORD stringCount, LPCSTR *strings);

// Registers the source: EventMessageFile = programPath, TypesSupported = 7 (error, warning,
// information). Returns 0 on failure, with the last error set and *failedCall naming the
// call ("RegCreateKeyEx", "RegSetValueEx").
int InstallEventSource(const char *programPath, const char **failedCall);

// Removes the source's key; a key that is not there counts as removed. Returns 0 on failure,
// with the last error set.
int RemoveEventSource(void);
