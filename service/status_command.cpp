// `-status`: what the service is doing, for an administrator and a monitoring system.
#include "service/status_command.h"

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "base/service_names.h"
#include "engine/clock_worker.h"
#include "engine/precise_clock.h"
#include "engine/settings_word.h"
#include "engine/time_service_peer.h"
#include "engine/worker_status.h"
#include "service/status_exit_rule.h"
#include "service/status_publish.h"

namespace {

const double kFileTimeUnitsPerS = 1e7;

const char *const kStateNames[] = {"state 0",          "STOPPED",     "START_PENDING", "STOP_PENDING",
                                   "RUNNING",          "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
const char *const kStartTypes[] = {"boot", "system", "automatic", "on demand", "disabled"};

const char *StateName(DWORD state) { return state < sizeof kStateNames / sizeof *kStateNames ? kStateNames[state] : "state ?"; }

// A service's status from the manager, opened for queries only. Returns 0 when the manager
// could not be asked; *installed is 0 when it has no such service.
int QueryService(SC_HANDLE manager, const char *name, int *installed, SERVICE_STATUS *status)
{
    *installed = 0;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service == NULL)
        return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    *installed = 1;
    const BOOL queried = QueryServiceStatus(service, status);
    CloseServiceHandle(service);
    return queried;
}

// The published state, read value by value.
struct Published {
    LONG result;  // the first failure other than a missing key or value
    int found;    // 1 when the key holds anything
    char mode[16], board[32], state[16], offset[16], halfWidth[16], rate[16], rateCall[16], rateScale[16];
    ULONGLONG startedAt, lastComparisonAt, lastCorrectionAt, writtenAt;
    DWORD lastOffsetMs, comparisons, outOfStep, corrections, unrecorded;

    void Read(const char *name, DWORD flags, void *data, DWORD size)
    {
        const LONG read = RegGetValueA(HKEY_LOCAL_MACHINE, kStatusKeyPath, name, flags, NULL, data, &size);
        found |= read == ERROR_SUCCESS;
        if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND && result == ERROR_SUCCESS)
            result = read;
    }
    void Text(const char *name, char *text, DWORD size) { Read(name, RRF_RT_REG_SZ, text, size); }
    void Number(const char *name, DWORD *number) { Read(name, RRF_RT_REG_DWORD, number, sizeof *number); }
    void Time(const char *name, ULONGLONG *time) { Read(name, RRF_RT_REG_QWORD, time, sizeof *time); }
};

void ReadPublished(Published *p)
{
    *p = Published{};
    p->Text("Mode", p->mode, sizeof p->mode);
    p->Text("Board", p->board, sizeof p->board);
    p->Time("StartedAtFileTime", &p->startedAt);
    p->Time("LastComparisonAtFileTime", &p->lastComparisonAt);
    p->Number("LastOffsetMs", &p->lastOffsetMs);
    p->Time("LastCorrectionAtFileTime", &p->lastCorrectionAt);
    p->Number("Comparisons", &p->comparisons);
    p->Number("OutOfStepComparisons", &p->outOfStep);
    p->Number("Corrections", &p->corrections);
    p->Number("UnrecordedCorrections", &p->unrecorded);
    p->Text("OffsetMs", p->offset, sizeof p->offset);
    p->Text("HalfWidthMs", p->halfWidth, sizeof p->halfWidth);
    p->Text("RatePpm", p->rate, sizeof p->rate);
    p->Text("State", p->state, sizeof p->state);
    p->Text("RateCall", p->rateCall, sizeof p->rateCall);
    p->Text("RateScale", p->rateScale, sizeof p->rateScale);
    p->Time("WrittenAtFileTime", &p->writtenAt);
}

double AgeS(ULONGLONG then, ULONGLONG now) { return (static_cast<double>(now) - static_cast<double>(then)) / kFileTimeUnitsPerS; }

// "2026-12-07 18:40:00.123 UTC, 120.4 s ago", or "none".
void PrintTimeLine(const char *label, ULONGLONG time, ULONGLONG now)
{
    if (time == 0) {
        ConsolePrint("%s: none\n", label);
        return;
    }
    char text[UTC_TEXT_SIZE];
    FormatUtc(time, text);
    ConsolePrint("%s: %s, %.1f s ago\n", label, text, AgeS(time, now));
}

void PrintService(int installed, const SERVICE_STATUS &status)
{
    if (!installed) {
        ConsolePrint("%s (%s): not installed\n", kDisplayName, kServiceName);
        return;
    }
    ConsolePrint("%s (%s): %s", kDisplayName, kServiceName, StateName(status.dwCurrentState));
    if (status.dwCurrentState == SERVICE_STOPPED) {
        ConsolePrint(", exit code %lu", static_cast<unsigned long>(status.dwWin32ExitCode));
        if (status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR)
            ConsolePrint(", start-up failure %lu: %s", static_cast<unsigned long>(status.dwServiceSpecificExitCode),
                         StartupFailureText(static_cast<StartupFailure>(status.dwServiceSpecificExitCode)));
    }
    ConsolePrint("\n");
}

void PrintSettings(const SettingsState &settings)
{
    ConsolePrint("Settings: %s, slop %ld ms, %s mode", settings.useUtc ? "UTC" : "local time",
                 static_cast<long>(settings.slopMs), settings.precise ? "precise" : "stepped");
    if (settings.precise && settings.edgeDelayUs != 0)
        ConsolePrint(", board delay %.3f ms", settings.edgeDelayUs / 1000.0);
    ConsolePrint("\n");
}

void PrintPublished(const Published &p, ULONGLONG now, int running)
{
    if (!p.found) {
        ConsolePrint("Published: nothing\n");
        return;
    }
    const double ageS = AgeS(p.writtenAt, now);
    ConsolePrint("Published: %.1f s ago%s, %s mode, board %s\n", ageS,
                 running && ageS > STATUS_STALE_S ? ", stale" : "", p.mode, p.board);
    PrintTimeLine("Started", p.startedAt, now);
    const LONG offsetMs = static_cast<LONG>(p.lastOffsetMs);
    if (p.lastComparisonAt == 0)
        ConsolePrint("Last comparison: none\n");
    else if (offsetMs == 0)
        ConsolePrint("Last comparison %.1f s ago: computer in step with the board\n", AgeS(p.lastComparisonAt, now));
    else
        ConsolePrint("Last comparison %.1f s ago: computer %ld ms %s the board\n", AgeS(p.lastComparisonAt, now),
                     static_cast<long>(offsetMs < 0 ? -offsetMs : offsetMs), offsetMs < 0 ? "behind" : "ahead of");
    PrintTimeLine("Last correction", p.lastCorrectionAt, now);
    ConsolePrint("Counts: %lu comparisons, %lu out of step; %lu corrections, %lu not yet in the event log\n",
                 static_cast<unsigned long>(p.comparisons), static_cast<unsigned long>(p.outOfStep),
                 static_cast<unsigned long>(p.corrections), static_cast<unsigned long>(p.unrecorded));
    if (p.state[0])
        ConsolePrint("Precise mode: offset %s ms +/- %s ms, rate %s ppm, %s\n", p.offset, p.halfWidth, p.rate, p.state);
    if (p.rateCall[0])
        ConsolePrint("Rate call: %s, measured scale %s\n", p.rateCall, p.rateScale);
}

// The registry tells whether it may set the clock, the manager how it is now.
void PrintPeer(const TimeServicePeer &peer, int known, const SERVICE_STATUS &status)
{
    if (!peer.installed) {
        ConsolePrint("Windows Time (%s): not installed\n", kTimeServiceName);
        return;
    }
    ConsolePrint("Windows Time (%s): %s, start type %s, Type %s: ", kTimeServiceName,
                 known ? StateName(status.dwCurrentState) : "unknown to the manager",
                 peer.startType < 5 ? kStartTypes[peer.startType] : "unknown", peer.type[0] ? peer.type : "not set");
    if (PeerSetsClock(peer))
        ConsolePrint("it may set this clock; to stop it: %s\n", kTimeServiceNoSyncCommand);
    else
        ConsolePrint("it does not set this clock\n");
}

}  // namespace

void QueryServiceStates(ServiceStates *states)
{
    *states = ServiceStates{};
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL)
        return;
    states->readable = QueryService(manager, kServiceName, &states->installed, &states->status);
    QueryService(manager, kTimeServiceName, &states->peerInstalled, &states->peerStatus);
    CloseServiceHandle(manager);
}

const char *ServiceStateName(DWORD state) { return StateName(state); }

void PrintSettingsLine(const SettingsState &settings) { PrintSettings(settings); }

int PrintTimeServiceLine(const ServiceStates &states)
{
    TimeServicePeer peer;
    ReadTimeServicePeer(&peer);
    PrintPeer(peer, states.peerInstalled, states.peerStatus);
    return PeerSetsClock(peer);
}

int RunStatusCommand(void)
{
    StatusFacts facts = {};
    ServiceStates states;
    QueryServiceStates(&states);
    const SERVICE_STATUS &status = states.status;
    facts.readable = states.readable;
    facts.installed = states.installed;
    if (facts.readable)
        PrintService(facts.installed, status);
    else
        ConsolePrint("%s (%s): the Service Control Manager did not answer\n", kDisplayName, kServiceName);
    facts.state = status.dwCurrentState;
    facts.exitCode = status.dwWin32ExitCode;

    SettingsState settings;
    ReadStoredSettings(&settings);
    PrintSettings(settings);
    facts.slopMs = settings.slopMs;

    Published published;
    ReadPublished(&published);
    const ULONGLONG now = UtcNow();
    const int running = facts.state == SERVICE_RUNNING;
    PrintPublished(published, now, running);
    facts.readable = facts.readable && published.result == ERROR_SUCCESS;
    facts.published = published.found;
    facts.publishedAgeS = AgeS(published.writtenAt, now);
    facts.compared = published.lastComparisonAt != 0;
    facts.comparedAgeS = AgeS(published.lastComparisonAt, now);
    facts.lastOffsetMs = static_cast<LONG>(published.lastOffsetMs);
    facts.monitoring = std::strcmp(published.state, PreciseStateWord(PRECISE_MONITORING)) == 0;
    facts.holdover = std::strcmp(published.state, PreciseStateWord(PRECISE_HOLDOVER)) == 0;
    facts.limited = std::strcmp(published.state, PreciseStateWord(PRECISE_LIMITED)) == 0;

    facts.peerSetsClock = PrintTimeServiceLine(states);

    const char *reason;
    const StatusExit verdict = StatusExitFor(facts, &reason);
    const char *const names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    ConsolePrint("Status: %d %s, %s\n", verdict, names[verdict], reason);
    return verdict;
}
