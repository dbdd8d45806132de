// The system's text for an error.
#include "service/error_text.h"

#include <cstdio>

namespace {

// A system text ends with "\r\n", which the message that shows it supplies itself.
const DWORD kLineEndLength = 2;

// What FormatLastError adds to the text with its line end cut: " (0x", up to 8 digits,
// ")" and the terminator, less the 2 characters of the cut line end.
const DWORD kCodeRoom = 14;

// How much of a system text of `length` characters to cut: its line end, or all of a
// text too short to have one.
DWORD LineEndToCut(DWORD length)
{
    return length < kLineEndLength ? length : kLineEndLength;
}

}  // namespace

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

char *FormatErrorText(DWORD error, char *buffer, DWORD size)
{
    if (error == 0) {
        if (size > 0)
            buffer[0] = '\0';
        return buffer;
    }
    SetLastError(error);
    return FormatLastError(buffer, size);
}
