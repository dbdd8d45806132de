// The system's text for an error, as the program's messages and event-log entries show it.
#pragma once

#include <windows.h>

// Room for an error text, terminator included.
enum { LAST_ERROR_TEXT_SIZE = 256 };

// Fills buffer (size bytes) with the system's text for the calling thread's last error,
// line end cut, followed by the code: "Service exists. (0x431)". The text is empty when
// the system has none for the code or when text and code do not fit. Returns buffer.
char *FormatLastError(char *buffer, DWORD size);

// The same for a given error, and the empty text for 0 (no error to tell of).
char *FormatErrorText(DWORD error, char *buffer, DWORD size);
