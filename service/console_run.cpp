// `-debug`: the worker in the console, stopped by Ctrl+C or Ctrl+Break.
#include "service/console_run.h"

#include "base/console_output.h"
#include "base/service_names.h"
#include "engine/clock_worker.h"
#include "engine/stop_request.h"
#include "service/error_text.h"

namespace {

// At the console there is no manager to report to: the worker's trace lines say how the
// start-up goes, and nothing here can refuse it.
int GoOnStarting(DWORD) { return 1; }

int GoOnRunning(void) { return 1; }

// One line after the last trace line that was reached, naming the step that gave up.
void PrintStartupFailed(StartupFailure step, DWORD error)
{
    char systemText[LAST_ERROR_TEXT_SIZE];
    FormatErrorText(error, systemText, sizeof systemText);
    ConsolePrint("Start-up failed (%lu): %s%s%s\n", static_cast<unsigned long>(step), StartupFailureText(step),
                 systemText[0] ? " - " : "", systemText);
}

}  // namespace

// A correction at the console is traced (" Time Changed " or " Offset "), not recorded; so are
// a clock that does not follow the precise mode and Windows' time service; nothing is published.
const WorkerReporter kConsoleReporter = {GoOnStarting, GoOnRunning, PrintStartupFailed, NULL, NULL, NULL, NULL, NULL, NULL};

void RunInConsole(void)
{
    ConsolePrint("Debugging %s.\n", kDisplayName);
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    RunClockWorker(&kConsoleReporter);
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
