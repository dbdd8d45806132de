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
#include "service/status_exit_rule.h"
#include "service/status_formats.h"
#include "service/status_publish.h"

namespace {

// What refused, and the system's words for why, as -load prints a failure.
void NoteRefusal(ServiceStates *states, const char *call)
{
    const DWORD error = GetLastError();
    states->readable = 0;
    char text[LAST_ERROR_TEXT_SIZE];
    FormatErrorText(error, text, sizeof text);
    std::snprintf(states->refusal, sizeof states->refusal, "%s failed - %s", call, text);
}

// A service's status from the manager, opened for queries only. A service that does not exist
// is no refusal: *installed stays 0. Returns 0 when the manager or the service refused.
int QueryService(SC_HANDLE manager, const char *name, int *installed, SERVICE_STATUS *status, ServiceStates *refused)
{
    *installed = 0;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service == NULL) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            return 1;
        if (refused)
            NoteRefusal(refused, "OpenService");
        return 0;
    }
    *installed = 1;
    const BOOL queried = QueryServiceStatus(service, status);
    if (!queried && refused)
        NoteRefusal(refused, "QueryServiceStatus");
    CloseServiceHandle(service);
    return queried;
}

// The record the service published last; its ages on the system's tick count.
void ReadPublished(StatusView *v)
{
    BYTE bytes[STATUS_RECORD_BYTES + 1];
    DWORD size = sizeof bytes;
    const LONG read = RegGetValueA(HKEY_LOCAL_MACHINE, kStatusKeyPath, kSnapshotValueName, RRF_RT_REG_BINARY, NULL,
                                   bytes, &size);
    if (read == ERROR_FILE_NOT_FOUND)
        return;
    if (read != ERROR_SUCCESS || !DecodeStatusRecord(bytes, size, &v->record)) {
        v->published = -1;
        return;
    }
    v->published = 1;
    const StatusRecord &r = v->record;
    const ULONGLONG nowTickMs = GetTickCount64();
    v->publishedAgeS = TickAgeS(r.writtenTickMs, nowTickMs);
    v->startedAgeS = TickAgeS(r.startedTickMs, nowTickMs);
    v->comparedAgeS = TickAgeS(r.lastComparisonTickMs, nowTickMs);
    v->correctedAgeS = TickAgeS(r.lastCorrectionTickMs, nowTickMs);
}

// ---- the text form ----

// "2026-12-07 18:40:00.123 UTC, 120.4 s ago", or "none".
void PrintTimeLine(const char *label, ULONGLONG time, double ageS)
{
    if (time == 0) {
        ConsolePrint("%s: none\n", label);
        return;
    }
    char text[UTC_TEXT_SIZE];
    FormatUtc(time, text);
    ConsolePrint("%s: %s, %.1f s ago\n", label, text, ageS);
}

void PrintService(const StatusView &v)
{
    if (!v.states.readable) {
        ConsolePrint("%s (%s): %s\n", kDisplayName, kServiceName, v.states.refusal);
        return;
    }
    if (!v.states.installed) {
        ConsolePrint("%s (%s): not installed\n", kDisplayName, kServiceName);
        return;
    }
    const SERVICE_STATUS &status = v.states.status;
    ConsolePrint("%s (%s): %s", kDisplayName, kServiceName, ServiceStateWord(status.dwCurrentState));
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

void PrintPublished(const StatusView &v)
{
    if (v.published == 0) {
        ConsolePrint("Published: nothing\n");
        return;
    }
    if (v.published < 0) {
        ConsolePrint("Published: unreadable\n");
        return;
    }
    const StatusRecord &r = v.record;
    char board[BOARD_TEXT_SIZE];
    FormatBoard(r.familyCode, r.boardAddress, board);
    ConsolePrint("Published: %.1f s ago%s, %s mode, board %s\n", v.publishedAgeS, v.stale ? ", stale" : "",
                 r.precise ? "precise" : "stepped", board);
    PrintTimeLine("Started", r.startedAt, v.startedAgeS);
    const LONG offsetMs = r.lastOffsetMs;
    if (r.lastComparisonAt == 0)
        ConsolePrint("Last comparison: none\n");
    else if (offsetMs == 0)
        ConsolePrint("Last comparison %.1f s ago: computer in step with the board\n", v.comparedAgeS);
    else
        ConsolePrint("Last comparison %.1f s ago: computer %ld ms %s the board\n", v.comparedAgeS,
                     static_cast<long>(offsetMs < 0 ? -offsetMs : offsetMs), offsetMs < 0 ? "behind" : "ahead of");
    PrintTimeLine("Last correction", r.lastCorrectionAt, v.correctedAgeS);
    ConsolePrint("Counts: %lu comparisons, %lu out of step; %lu corrections, %lu not yet in the event log\n",
                 static_cast<unsigned long>(r.comparisons), static_cast<unsigned long>(r.outOfStep),
                 static_cast<unsigned long>(r.corrections), static_cast<unsigned long>(r.unrecorded));
    if (!r.precise)
        return;
    ConsolePrint("Precise mode: offset %+.3f ms +/- %.3f ms, rate %+.2f ppm, %s\n", r.offsetMs, r.halfWidthMs, r.ratePpm,
                 r.state);
    if (r.rateCall[0])
        ConsolePrint("Rate call: %s, measured scale %+.3f\n", r.rateCall, r.rateScale);
}

// The registry tells whether it may set the clock and which setting decides, the manager how
// it is now.
void PrintPeer(const TimeServicePeer &peer, const PeerVerdict &verdict, int known, const SERVICE_STATUS &status)
{
    if (!peer.installed) {
        ConsolePrint("Windows Time (%s): not installed\n", kTimeServiceName);
        return;
    }
    ConsolePrint("Windows Time (%s): %s, start type %s, ", kTimeServiceName,
                 known ? ServiceStateWord(status.dwCurrentState) : "unknown to the manager",
                 PeerStartTypeWord(peer.startType));
    if (verdict.type[0])
        ConsolePrint("Type %s (%s)", verdict.type, PeerSourceWord(verdict.typeFrom));
    else
        ConsolePrint("Type not set");
    if (!verdict.ntpClientOn)
        ConsolePrint(", NTP client off (%s)", PeerSourceWord(verdict.ntpClientFrom));
    if (!verdict.setsClock)
        ConsolePrint(": it does not set this clock\n");
    else if (verdict.decidedBy == PEER_FROM_POLICY)
        ConsolePrint(": it may set this clock; %s\n", kTimeServicePolicyAdvice);
    else
        ConsolePrint(": it may set this clock; to stop it: %s\n", kTimeServiceNoSyncCommand);
}

void PrintStatusText(const StatusView &v)
{
    PrintService(v);
    PrintSettings(v.settings);
    PrintPublished(v);
    PrintPeer(v.peer, v.verdict, v.states.peerInstalled, v.states.peerStatus);
    ConsolePrint("Status: %d %s, %s\n", v.exit, StatusExitWord(v.exit), v.reason);
}

// The facts the exit status follows, from the view.
StatusFacts FactsOf(const StatusView &v)
{
    StatusFacts facts = {};
    facts.readable = v.states.readable && v.published >= 0;
    facts.installed = v.states.installed;
    facts.state = v.states.status.dwCurrentState;
    facts.exitCode = v.states.status.dwWin32ExitCode;
    facts.slopMs = v.settings.slopMs;
    facts.published = v.published == 1;
    facts.publishedAgeS = v.publishedAgeS;
    const StatusRecord &r = v.record;
    facts.compared = facts.published && r.lastComparisonAt != 0;
    facts.comparedAgeS = v.comparedAgeS;
    facts.lastOffsetMs = r.lastOffsetMs;
    facts.monitoring = std::strcmp(r.state, PreciseStateWord(PRECISE_MONITORING)) == 0;
    facts.holdover = std::strcmp(r.state, PreciseStateWord(PRECISE_HOLDOVER)) == 0;
    facts.limited = std::strcmp(r.state, PreciseStateWord(PRECISE_LIMITED)) == 0;
    facts.peerSetsClock = v.verdict.setsClock;
    return facts;
}

}  // namespace

void QueryServiceStates(ServiceStates *states)
{
    *states = ServiceStates{};
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager == NULL) {
        NoteRefusal(states, "OpenSCManager");
        return;
    }
    states->readable = QueryService(manager, kServiceName, &states->installed, &states->status, states);
    QueryService(manager, kTimeServiceName, &states->peerInstalled, &states->peerStatus, NULL);
    CloseServiceHandle(manager);
}

void PrintSettingsLine(const SettingsState &settings) { PrintSettings(settings); }

int PrintTimeServiceLine(const ServiceStates &states)
{
    TimeServicePeer peer;
    ReadTimeServicePeer(&peer);
    const PeerVerdict verdict = JudgePeer(peer);
    PrintPeer(peer, verdict, states.peerInstalled, states.peerStatus);
    return verdict.setsClock;
}

int RunStatusCommand(const char *formWord)
{
    const StatusForm form = StatusFormFor(formWord);
    if (form == STATUS_FORM_UNKNOWN) {
        ConsolePrint("-status prints text, json or prometheus, not: %s\n", formWord);
        return STATUS_UNKNOWN;
    }
    StatusView v = {};
    QueryServiceStates(&v.states);
    ReadStoredSettings(&v.settings);
    ReadPublished(&v);
    v.stale = v.published == 1 && v.states.status.dwCurrentState == SERVICE_RUNNING && v.publishedAgeS > STATUS_STALE_S;
    ReadTimeServicePeer(&v.peer);
    v.verdict = JudgePeer(v.peer);
    v.exit = StatusExitFor(FactsOf(v), &v.reason);
    if (form == STATUS_FORM_TEXT)
        PrintStatusText(v);
    else if (!(form == STATUS_FORM_JSON ? PrintStatusJson(v) : PrintStatusPrometheus(v)))
        return STATUS_UNKNOWN;  // a monitor must not take a part for the whole
    return v.exit;
}
