// The worker: start-up, the 51 ms polling loop and the closing sequence.
#include "engine/clock_worker.h"

#include <sddl.h>

#include "base/console_output.h"
#include "base/program_path.h"
#include "engine/board_discovery.h"
#include "engine/clock_rate.h"
#include "engine/precise_clock.h"
#include "engine/settings_word.h"
#include "engine/stop_request.h"
#include "engine/time_check.h"
#include "engine/time_service_peer.h"
#include "reader/nttc_reader.h"

WorkerState g_worker;

const char kProgramFileSecurity[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)";

namespace {

const DWORD kDiscoveryRetryHintMs = 7000;
const DWORD kClosingPauseMs = 5000;
static_assert(kClosingHintMs > kClosingPauseMs, "the closing report's hint covers the pause");
const ULONGLONG kPublishSpacingMs = 5000;
// Ticks of at least 51 ms that take less than 5 s: from the last publication on, the tick
// count alone is compared until it reaches this many more, then the time.
const DWORD kPublishTicksBeforeLooking = kPublishSpacingMs / kPollIntervalMs - 1;
const double kUsPerMs = 1000;  // the board's delay is stored in us, the precise mode takes ms

// Returns 0 when the start-up must end.
int ReportStartProgress(DWORD waitHintMs) { return g_worker.reporter->reportStarting(waitHintMs); }

// Ends the start-up at `step`, keeping the failing call's error (0 when the step has none)
// for the reporter. Returns 0.
int GiveUp(StartupFailure step, DWORD error)
{
    g_worker.failure = step;
    g_worker.failureError = error;
    return 0;
}

void TraceStateLine(void)
{
    ConsoleTrace(" %d  %d  %d  %d  %d  %d \n", static_cast<int>(g_timeCheck.lastComputerSeconds),
                 static_cast<int>(g_worker.tickCount), g_worker.discoveryResult,
                 static_cast<int>(g_worker.startFamilyCode), static_cast<int>(g_worker.startIdentificationValue),
                 static_cast<int>(g_worker.startBoardAddress));
}

// Discovery, with one more pass after 3 s when the first finds no board.
int DiscoverBoard(void)
{
    g_worker.discoveryResult = FindReaderBoard();
    if (g_worker.discoveryResult)
        return 1;
    if (!ReportStartProgress(kDiscoveryRetryHintMs))
        return 0;
    Sleep(kDiscoveryRetryPauseMs);
    g_worker.discoveryResult = FindReaderBoard();
    return g_worker.discoveryResult ? 1 : GiveUp(STARTUP_NO_BOARD, 0);
}

void TakeSettings(void)
{
    g_worker.timeCheck.slopMs = g_settings.slopMs;
    g_worker.timeCheck.useUtc = g_settings.useUtc;
}

void TakeBoardRecord(void)
{
    g_worker.timeCheck.boardAddress = g_board.boardAddress;
    g_worker.startFamilyCode = g_board.familyCode;
    g_worker.startIdentificationValue = g_board.identificationValue;
    g_worker.startBoardAddress = g_board.boardAddress;
}

// From here on the whole process runs above every process of normal priority, so that
// the 51 ms polls keep their cadence on a loaded machine.
int EnterRealTimePriority(void)
{
    g_worker.process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId());
    if (!SetPriorityClass(g_worker.process, REALTIME_PRIORITY_CLASS))
        return GiveUp(STARTUP_NO_PRIORITY, GetLastError());
    return 1;
}

// A DACL that is present and not null: a null DACL would grant everyone everything. Sets
// *error to the query's last error, or 0 when the query worked.
int HasExplicitDacl(PSECURITY_DESCRIPTOR descriptor, DWORD *error)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = NULL;
    *error = 0;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        *error = GetLastError();
        return 0;
    }
    return present && dacl != NULL;
}

// The program runs as the system: only SYSTEM and Administrators may change its file.
int ProtectProgramFile(void)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProgramFileSecurity, SDDL_REVISION_1, &descriptor,
                                                              NULL))
        return GiveUp(STARTUP_FILE_UNPROTECTED, GetLastError());
    ConsoleTrace(" Initialize DACL  \n");
    DWORD error;
    if (!HasExplicitDacl(descriptor, &error)) {
        LocalFree(descriptor);
        return GiveUp(STARTUP_FILE_UNPROTECTED, error);
    }
    ConsoleTrace(" Set DACL  \n");
    char path[PROGRAM_PATH_SIZE];
    if (!GetProgramPath(path) || !SetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor)) {
        error = GetLastError();
        LocalFree(descriptor);
        ConsoleTrace(" Get Command Line Error  \n");
        return GiveUp(STARTUP_FILE_UNPROTECTED, error);
    }
    g_worker.programFileSecurity = descriptor;
    return 1;
}

// Prepares the record that enables the clock privilege around each change, and leaves
// every privilege of the process disabled until then.
int PrepareClockPrivilege(void)
{
    TimeCheckInputs &check = g_worker.timeCheck;
    if (!OpenProcessToken(g_worker.process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &check.token))
        return GiveUp(STARTUP_NO_PRIVILEGE, GetLastError());
    ConsoleTrace(" Open Process Token  \n");
    LUID luid;
    if (!LookupPrivilegeValueA(NULL, SE_SYSTEMTIME_NAME, &luid))
        return GiveUp(STARTUP_NO_PRIVILEGE, GetLastError());
    check.privileges.PrivilegeCount = 1;
    check.privileges.Privileges[0].Luid = luid;
    check.privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(check.token, TRUE, NULL, 0, NULL, NULL);
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? 1 : GiveUp(STARTUP_NO_PRIVILEGE, error);
}

// The start-up steps in order. Returns 1 when the worker may poll, 0 when a step failed.
int StartUp(void)
{
    LoadSettingsWord();
    if (g_settings.precise)
        ConsoleTrace(" Precise mode \n");
    if (g_settings.precise && g_settings.edgeDelayUs != 0)
        ConsoleTrace(" Board delay %.3f ms \n", g_settings.edgeDelayUs / kUsPerMs);
    TakeSettings();
    g_worker.tickCount = 0;
    if (!ReportStartProgress(kStartHintMs))
        return 0;
    if (!CreateStopEvent())
        return GiveUp(STARTUP_NO_STOP_EVENT, GetLastError());
    if (!NttcOpen())
        return GiveUp(STARTUP_NO_LIBRARY, 0);
    if (!DiscoverBoard())
        return 0;
    TakeBoardRecord();
    TraceStateLine();
    if (!ReportStartProgress(kStartHintMs))
        return 0;
    if (!EnterRealTimePriority())
        return 0;
    ConsoleTrace(" CurrentProcessId  \n");
    if (!ReportStartProgress(kStartHintMs))
        return 0;
    if (!ProtectProgramFile())
        return 0;
    ConsoleTrace(" Get Command Line  \n");
    if (!ReportStartProgress(kStartHintMs))
        return 0;
    if (!PrepareClockPrivilege())
        return 0;
    g_worker.timeCheck.corrected = g_worker.reporter->reportCorrection;
    StartTimeCheck(&g_worker.timeCheck);
    // A rate a crashed run of the precise mode left in force would bend the clock of either
    // mode until a restart: it is handed back here (the precise mode looks at it itself).
    if (!g_settings.precise)
        StartClockRate(&g_worker.timeCheck);
    if (g_settings.precise) {
        const PreciseReporter precise = {g_worker.reporter->reportAdjustmentIgnored, g_worker.reporter->reportPreciseWarning};
        const PreciseOptions options = {g_settings.edgeDelayUs / kUsPerMs, 0};
        StartPreciseClock(&g_worker.timeCheck, &precise, &options);
    }
    ConsoleTrace(" Initialize Token Privileges  \n");
    return g_worker.reporter->reportRunning();
}

// A wait ends on a tick of the system timer. Since Windows 10 version 2004 a process that
// has not asked for a finer one gets the default 15.625 ms tick, whatever other programs
// ask: every 51 ms wait then lasts 62.5 ms, the 16 polls of a second fall on the same 16
// places of every second, and frame 0 can go unseen for minutes. On a 1 ms timer the 51 ms
// poll walks through the second as it is meant to. A refusal is no reason not to poll.
void RequestPollTimer(void)
{
    g_worker.pollTimerGranted = timeBeginPeriod(kPollTimerPeriodMs) == TIMERR_NOERROR;
}

// Every granted request is matched by one release, and only a granted one.
void ReleasePollTimer(void)
{
    if (!g_worker.pollTimerGranted)
        return;
    timeEndPeriod(kPollTimerPeriodMs);
    g_worker.pollTimerGranted = 0;
}

// Windows' own time service would fight the worker for the clock: said once, a warning and
// not a failure.
void LookAtTimeServicePeer(void)
{
    TimeServicePeer peer;
    ReadTimeServicePeer(&peer);
    const PeerVerdict verdict = JudgePeer(peer);
    if (!verdict.setsClock)
        return;
    const char *type = verdict.type[0] ? verdict.type : "not set";
    if (verdict.decidedBy == PEER_FROM_POLICY)
        ConsoleTrace(" Windows Time (%s) may set this clock too, its Type is %s from Group Policy; %s \n",
                     kTimeServiceName, type, kTimeServicePolicyAdvice);
    else
        ConsoleTrace(" Windows Time (%s) may set this clock too, its Type is %s; to stop it: %s \n", kTimeServiceName,
                     type, kTimeServiceNoSyncCommand);
    if (g_worker.reporter->reportTimeServicePeer)
        g_worker.reporter->reportTimeServicePeer(&verdict);
}

DWORD CorrectionsSoFar(void) { return g_settings.precise ? g_preciseClock.steps : g_timeCheck.corrections; }

// The state is published from the first tick on, as a service; at the console not at all.
void StartPublishing(void)
{
    g_worker.nextPublishTick = 1;
    if (!g_worker.reporter->publishStatus)
        return;
    g_worker.startedAt = UtcNow();
    g_worker.startedTickMs = GetTickCount64();
}

void Publish(void)
{
    WorkerStatus status;
    TakeWorkerStatus(g_worker.startedAt, g_worker.startedTickMs, &status);
    g_worker.reporter->publishStatus(&status);
    g_worker.lastPublishMs = GetTickCount64();
    g_worker.nextPublishTick = g_worker.tickCount + kPublishTicksBeforeLooking;
    g_worker.publishedCorrections = status.corrections;
}

// On the first tick after 5 s have passed since the last publication, and on a tick that
// corrected. A tick between compares the tick count and the corrections, no more.
void PublishIfDue(void)
{
    if (!g_worker.reporter->publishStatus)
        return;
    const int corrected = CorrectionsSoFar() != g_worker.publishedCorrections;
    if (!corrected && g_worker.tickCount < g_worker.nextPublishTick)
        return;
    // The tick count says that 5 s may have passed; the system's tick count, whether they have.
    if (!corrected && g_worker.lastPublishMs != 0 && GetTickCount64() - g_worker.lastPublishMs < kPublishSpacingMs)
        return;
    Publish();
}

// Calls CheckTime on every 51 ms time-out of the wait. A stop ends the loop; so does a
// wait that fails, which would otherwise return at once and spin at real-time priority.
void PollUntilStopped(void)
{
    while (WaitForSingleObject(g_stopRequest.stopEvent, kPollIntervalMs) == WAIT_TIMEOUT) {
        ++g_worker.tickCount;
        if (g_settings.precise) {
            PreciseTick();
        } else if (CheckTime() == 1) {
            ConsoleTrace(" CheckTime TRUE. \n");
            TraceStateLine();
        }
        PublishIfDue();
        if (g_worker.reporter->keepRecords)
            g_worker.reporter->keepRecords(0);
    }
}

void CloseDown(void)
{
    ReleasePollTimer();
    if (g_settings.precise)
        StopPreciseClock();
    if (g_worker.reporter->keepRecords)
        g_worker.reporter->keepRecords(1);
    // From here on nothing is left that the end of the process would lose: a console that is
    // closing may let it end.
    MarkWorkerClosed();
    CloseStopEvent();
    MessageBeep(MB_OK);
    Sleep(kClosingPauseMs);
}

}  // namespace

const char *StartupFailureText(StartupFailure step)
{
    switch (step) {
    case STARTUP_NO_LIBRARY:
        return "the reader library ZYN_NTTC.dll did not open";
    case STARTUP_NO_BOARD:
        return "no reader board answered at any of the 22 addresses, in two passes 3 s apart";
    case STARTUP_NO_PRIORITY:
        return "the process could not enter the real-time priority class";
    case STARTUP_FILE_UNPROTECTED:
        return "the program's file could not be given its protection";
    case STARTUP_NO_PRIVILEGE:
        return "the clock privilege could not be prepared";
    case STARTUP_NO_STOP_EVENT:
        return "the stop event could not be created";
    default:
        return "the start-up did not fail";
    }
}

void RunClockWorker(const WorkerReporter *reporter)
{
    g_worker.reporter = reporter;
    if (StartUp()) {
        LookAtTimeServicePeer();
        StartPublishing();
        RequestPollTimer();
        PollUntilStopped();
    } else if (g_worker.failure != STARTUP_SUCCEEDED) {
        reporter->reportStartupFailed(g_worker.failure, g_worker.failureError);
    }
    CloseDown();
}
