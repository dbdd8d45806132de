// `-measure [seconds]`: the board measured against this computer's clock.
#include "service/measure_command.h"

#include <cstdio>

#include "base/console_output.h"
#include "base/service_names.h"
#include "engine/board_delay_rule.h"
#include "engine/measuring_run.h"
#include "engine/settings_word.h"
#include "engine/stop_request.h"
#include "service/error_text.h"
#include "service/machine_report.h"
#include "service/status_command.h"
#include "service/status_formats.h"

namespace {

const DWORD kDefaultSeconds = 120;
const DWORD kMostSeconds = 86400;

// Decimal digits only, 1 to 86400; digits beyond that are read no further.
int ParseSeconds(const char *text, DWORD *seconds)
{
    DWORD value = 0;
    const char *digit = text;
    for (; *digit >= '0' && *digit <= '9'; ++digit)
        if (value <= kMostSeconds)
            value = value * 10 + static_cast<DWORD>(*digit - '0');
    if (digit == text || *digit != '\0' || value < 1 || value > kMostSeconds)
        return 0;
    *seconds = value;
    return 1;
}

// A service that is not stopped may be reading the board, and a clock it keeps is no reference.
// One the manager cannot tell of is taken to be running.
int ServiceLeavesBoard(const ServiceStates &states)
{
    if (!states.readable) {
        ConsolePrint("The Service Control Manager did not answer: %s may be running. Not measuring.\n", kDisplayName);
        return 0;
    }
    if (states.installed && states.status.dwCurrentState != SERVICE_STOPPED) {
        ConsolePrint("%s (%s) is %s: stop it first (sc stop %s). It reads the board, and a clock it keeps is "
                     "no reference to measure the board against.\n",
                     kDisplayName, kServiceName, ServiceStateWord(states.status.dwCurrentState), kServiceName);
        return 0;
    }
    return 1;
}

// The board and the library are not touched before the service is known to be stopped; the
// timer is given back on every way out.
int Measure(DWORD seconds, const ServiceStates &states)
{
    ConsolePrint("Measuring the reader board against this computer's clock for %lu s (Ctrl+C ends it sooner); the "
                 "clock is not changed.\n",
                 static_cast<unsigned long>(seconds));
    PrintWindowsLine();
    PrintCounterLine();
    SetConsoleCtrlHandler(MeasureControl, TRUE);
    if (!PrepareMeasuring()) {
        char systemText[LAST_ERROR_TEXT_SIZE];
        FormatErrorText(GetLastError(), systemText, sizeof systemText);
        ConsolePrint("Cannot measure: %s - %s\n", StartupFailureText(STARTUP_NO_STOP_EVENT), systemText);
        return MEASURE_NO_BOARD;
    }
    PrintTimerLine();
    PrintClockAdjustmentLine();
    PrintTimeServiceLine(states);
    const StartupFailure found = FindBoardToMeasure();
    if (found != STARTUP_SUCCEEDED) {
        EndMeasuring();
        ConsolePrint("Cannot measure: %s\n", StartupFailureText(found));
        return MEASURE_NO_BOARD;
    }
    ReadStoredSettings(&g_settings);
    PrintSettingsLine(g_settings);
    MeasureBoard(seconds);
    EndMeasuring();
    return ReportMeasurement(SummarizeMeasurement(g_preciseClock));
}

}  // namespace

int ParseMeasureSeconds(int argc, char **argv, DWORD *seconds)
{
    *seconds = kDefaultSeconds;
    return argc <= 2 || (argc == 3 && ParseSeconds(argv[2], seconds));
}

// The console's close, a log-off and a shutdown are left to the system's handler, which ends
// the process: measuring holds nothing the system does not give back.
BOOL WINAPI MeasureControl(DWORD controlType)
{
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT)
        return FALSE;
    RequestStop();
    return TRUE;
}

int ReportMeasurement(const MeasureSummary &summary)
{
    if (!summary.locked) {
        ConsolePrint("Seconds measured: 0 in %.0f s: the estimate never came within 2 ms, so no delay is proposed\n",
                     g_measuringRun.ranS);
        return MEASURE_NEVER_LOCKED;
    }
    ConsolePrint("Seconds measured: %lu, from the first within 2 ms on, in %.0f s\n",
                 static_cast<unsigned long>(summary.seconds), g_measuringRun.ranS);
    ConsolePrint("Board against this clock: mean %+.3f ms, spread %.3f ms (standard deviation)\n", summary.meanMs,
                 summary.spreadMs);
    // The delay is proposed as -load takes it; one it would not take is seconds off, a wrong
    // time zone or time base, and no delay of a board.
    char delay[32];
    std::snprintf(delay, sizeof delay, "%.1f", summary.delayMs);
    LONG delayUs;
    if (!ParseBoardDelay(delay, &delayUs)) {
        ConsolePrint("The board is %s ms from this clock, more than a board's delay can be (-1000 to 1000 ms): look at "
                     "the board's time code and at this clock's time zone first\n",
                     delay);
        return MEASURE_LOCKED;
    }
    ConsolePrint("If this clock was right while measuring (kept by NTP, PTP or GPS), the board's delay is %s ms: "
                 "RUZivEr2 -load %c %ld precise %s\n",
                 delay, g_settings.useUtc ? 'S' : 'L', static_cast<long>(g_settings.slopMs), delay);
    return MEASURE_LOCKED;
}

int RunMeasureCommand(int argc, char **argv)
{
    DWORD seconds;
    if (!ParseMeasureSeconds(argc, argv, &seconds)) {
        DWORD unused;
        ConsolePrint("-measure takes at most one argument, the seconds to measure from 1 to %lu (%lu without it), "
                     "not \"%s\".\n",
                     static_cast<unsigned long>(kMostSeconds), static_cast<unsigned long>(kDefaultSeconds),
                     ParseSeconds(argv[2], &unused) ? argv[3] : argv[2]);
        return MEASURE_REFUSED;
    }
    // The engine's trace is the measurement: the board found, a Board line each second.
    g_console.consoleMode = 1;
    ServiceStates states;
    QueryServiceStates(&states);
    if (!ServiceLeavesBoard(states))
        return MEASURE_SERVICE_RUNS;
    return Measure(seconds, states);
}
