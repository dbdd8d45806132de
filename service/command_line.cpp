// The program's entry: choosing and running one of the four paths.
#include "service/command_line.h"

#include <cstring>

#include "base/ascii_text.h"
#include "base/console_output.h"
#include "base/service_names.h"
#include "service/console_run.h"
#include "service/measure_command.h"
#include "service/service_entry.h"
#include "service/service_install.h"
#include "service/status_command.h"
#include "service/status_report.h"

namespace {

// Every command run pauses before it ends, so that its messages can be read in a console
// window that closes with the program; the usage path pauses before the dispatcher.
const DWORD kCommandPauseMs = 5000;
const DWORD kDispatcherPauseMs = 10000;

const char kProgramName[] = "RUZivEr2";

void PrintUsage(void)
{
    ConsolePrint(" Command Line Options: \n\n");
    ConsolePrint("%s -load X nnn <enter>\n ", kProgramName);
    ConsolePrint("            to load the ZYNntHoravex service\n");
    ConsolePrint("             where X = S or L, and nnn = 50 to 250 (user Selectable Delay \n");
    ConsolePrint("             with 150ms default slop.\n");
    ConsolePrint("%s -unload <enter>\n", kProgramName);
}

// The dispatcher takes writable names: the table's is a copy of the service name, made just
// before the call. The table lives as long as the dispatcher runs.
char g_dispatchName[sizeof kServiceName];
const SERVICE_TABLE_ENTRYA kDispatchTable[] = {{g_dispatchName, ServiceEntry}, {NULL, NULL}};

int RunUsagePath(void)
{
    PrintUsage();
    ConsolePrint("\nStartServiceCtrlDispatcher being called.\n");
    ConsolePrint("This may take several seconds.  Please wait.\n");
    Sleep(kDispatcherPauseMs);
    std::memcpy(g_dispatchName, kServiceName, sizeof kServiceName);
    if (StartServiceCtrlDispatcherA(kDispatchTable))
        return 0;
    LogErrorEvent("StartServiceCtrlDispatcher failed.");
    return 1;
}

// A refused board's delay is the one -load failure that leaves everything as it was: its
// exit status says so to a script that cannot read the line.
int RunLoadPath(int argc, char **argv)
{
    const int saved = SaveSettingsWord(argc, argv);
    if (saved)
        InstallService();
    Sleep(kCommandPauseMs);
    return saved ? 0 : 1;
}

int RunUnloadPath(void)
{
    RemoveService();
    Sleep(kCommandPauseMs);
    return 0;
}

int RunDebugPath(void)
{
    g_console.consoleMode = 1;
    RunInConsole();
    Sleep(kCommandPauseMs);
    return 0;
}

}  // namespace

ProgramPath ChooseProgramPath(int argc, char **argv)
{
    if (argc <= 1 || (argv[1][0] != '-' && argv[1][0] != '/'))
        return PROGRAM_PATH_USAGE;
    const char *option = argv[1] + 1;
    if (EqualsIgnoringCase(option, "load"))
        return PROGRAM_PATH_LOAD;
    if (EqualsIgnoringCase(option, "unload"))
        return PROGRAM_PATH_UNLOAD;
    if (EqualsIgnoringCase(option, "debug"))
        return PROGRAM_PATH_DEBUG;
    if (EqualsIgnoringCase(option, "status"))
        return PROGRAM_PATH_STATUS;
    if (EqualsIgnoringCase(option, "measure"))
        return PROGRAM_PATH_MEASURE;
    return PROGRAM_PATH_USAGE;
}

int RunProgram(int argc, char **argv)
{
    InitStatusReporting();
    switch (ChooseProgramPath(argc, argv)) {
    case PROGRAM_PATH_LOAD:
        return RunLoadPath(argc, argv);
    case PROGRAM_PATH_UNLOAD:
        return RunUnloadPath();
    case PROGRAM_PATH_DEBUG:
        return RunDebugPath();
    case PROGRAM_PATH_STATUS:
        return RunStatusCommand(argc > 2 ? argv[2] : NULL);
    case PROGRAM_PATH_MEASURE:
        return RunMeasureCommand(argc, argv);
    default:
        return RunUsagePath();
    }
}
