// `-debug`: the worker in the console, stopped by Ctrl+C or Ctrl+Break.
#include "service/console_run.h"

#include "engine/clock_worker.h"
#include "service/console_output.h"
#include "service/service_names.h"
#include "service/stop_request.h"

void RunInConsole(void)
{
    ConsolePrint("Debugging %s.\n", kDisplayName);
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    RunClockWorker();
}

// Runs on a thread the system starts for each console event.
BOOL WINAPI ConsoleControl(DWORD controlType)
{
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT)
        return FALSE;
    ConsolePrint("Stopping %s.\n", kDisplayName);
    RequestStop();
    return TRUE;
}
