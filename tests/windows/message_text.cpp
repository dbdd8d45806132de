// Prints the text of one message of a module's message table with the given insert strings, as
// Event Viewer renders an event-log entry: the module loaded as data only, and FormatMessage
// given the strings as an array. Lets tests/e2e/message_text_wine.sh read the program's table.
//
//   message_text.exe MODULE ID [STRING...]
//
// ID is decimal, or hexadecimal with 0x. The text goes to standard output byte for byte (line
// ends as FormatMessage gives them), with nothing after it. Exit status: 0 printed, 2 usage,
// 3 the module did not load, 4 FormatMessage failed (the error code on standard error).
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: message_text MODULE ID [STRING...]\n");
        return 2;
    }
    // Text mode would turn each "\n" of the message into "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);

    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::fprintf(stderr, "LoadLibraryExA %s failed: %lu\n", argv[1], GetLastError());
        return 3;
    }
    const DWORD id = std::strtoul(argv[2], nullptr, 0);
    std::vector<DWORD_PTR> strings;
    for (int i = 3; i < argc; ++i)
        strings.push_back(reinterpret_cast<DWORD_PTR>(argv[i]));

    char *text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       module, id, 0, reinterpret_cast<char *>(&text), 0,
                       reinterpret_cast<va_list *>(strings.data()));
    if (length == 0) {
        std::fprintf(stderr, "FormatMessageA 0x%08lX failed: %lu\n", id, GetLastError());
        FreeLibrary(module);
        return 4;
    }
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
    LocalFree(text);
    FreeLibrary(module);
    return 0;
}
