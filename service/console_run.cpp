// `-debug`: the worker in the console, stopped by Ctrl+C or Ctrl+Break, or by the console's
// close, a log-off or a shutdown.
#include "service/console_run.h"

#include "base/console_output.h"
#include "base/service_names.h"
#include "engine/clock_worker.h"
#include "engine/stop_request.h"
#include "service/error_text.h"

namespace {

// The system ends the process of a closed console 5 s after the event at the latest: the
// worker's closing is waited for a little less, so that the handler still returns in time.
const DWORD kClosingWaitMs = 4000;

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

// Runs on a thread the system starts for each console event. After Ctrl+C or Ctrl+Break the
// process goes on, and the run ends as the worker returns. After the console's close, a
// log-off or a shutdown the system ends the process as soon as the handler returns, and a
// rate the precise mode set would stay in force until Windows restarts: the handler returns
// only once the worker has handed it back (or the wait's time has run out).
BOOL WINAPI ConsoleControl(DWORD controlType)
{
    const int processEnds =
        controlType == CTRL_CLOSE_EVENT || controlType == CTRL_LOGOFF_EVENT || controlType == CTRL_SHUTDOWN_EVENT;
    if (!processEnds && controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT)
        return FALSE;
    ConsolePrint("Stopping %s.\n", kDisplayName);
    RequestStop();
    if (processEnds)
        WaitForWorkerClosed(kClosingWaitMs);
    return TRUE;
}
