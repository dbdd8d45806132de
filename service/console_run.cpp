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

// The session window's class, registered by this process for its one window.
const char kSessionWindowClass[] = "ZYN_NT_Horavex2 session";

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

// Every stop at the console says so and signals the worker. When the process ends as soon as
// the caller returns, the caller returns only once the worker has handed the clock back.
void StopWorker(int processEnds)
{
    ConsolePrint("Stopping %s.\n", kDisplayName);
    RequestStop();
    if (processEnds)
        WaitForWorkerClosed(kClosingWaitMs);
}

// Windows takes a console program that loads user32 (the beeps) for a windowed one: it sends
// it no CTRL_LOGOFF_EVENT or CTRL_SHUTDOWN_EVENT, only WM_QUERYENDSESSION and WM_ENDSESSION, and
// those only to top-level windows (a message-only window hears no broadcast). This thread keeps
// such a window, never shown, and pumps its queue. Nothing waits for the thread: the end of the
// process ends it. Without the window the run goes on, and the console's close is still heard.
DWORD WINAPI RunSessionWindow(LPVOID)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = SessionWindowProcedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = kSessionWindowClass;
    if (!RegisterClassA(&windowClass))
        return 0;
    // No parent, no extended style, not WS_VISIBLE: top-level, and never on the screen.
    if (!CreateWindowExA(0, kSessionWindowClass, kDisplayName, 0, 0, 0, 0, 0, NULL, NULL, windowClass.hInstance, NULL))
        return 0;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

}  // namespace

// A correction at the console is traced (" Time Changed " or " Offset "), not recorded; so are
// a clock that does not follow the precise mode and Windows' time service; nothing is published.
const WorkerReporter kConsoleReporter = {GoOnStarting, GoOnRunning, PrintStartupFailed, NULL, NULL, NULL, NULL, NULL, NULL};

void RunInConsole(void)
{
    ConsolePrint("Debugging %s.\n", kDisplayName);
    SetConsoleCtrlHandler(ConsoleControl, TRUE);
    HANDLE sessionThread = CreateThread(NULL, 0, RunSessionWindow, NULL, 0, NULL);
    if (sessionThread)
        CloseHandle(sessionThread);
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
    StopWorker(processEnds);
    return TRUE;
}

// Runs on the session window's thread. Once every program has agreed to the end of the session,
// the system ends the process as soon as WM_ENDSESSION (TRUE) is answered, or 5 s after it is
// sent: the answer waits for the worker's closing as a console's close does. WM_ENDSESSION
// (FALSE) says the log-off or shutdown was called off, and the run goes on.
LRESULT CALLBACK SessionWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION)
        return TRUE;
    if (message != WM_ENDSESSION)
        return DefWindowProcA(window, message, wParam, lParam);
    if (wParam)
        StopWorker(1);
    return 0;
}
