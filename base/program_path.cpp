// The full path of the running program's own file.
#include "base/program_path.h"

int GetProgramPath(char *path)
{
    const DWORD length = GetModuleFileNameA(NULL, path, PROGRAM_PATH_SIZE);
    if (length == 0)
        return 0;
    if (length >= PROGRAM_PATH_SIZE) {
        // The system sets this error when it cuts the path; set here too, the failure's text
        // does not depend on it.
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return 1;
}
