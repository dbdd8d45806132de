// `-status`'s forms for machines.
#include "service/status_formats.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "base/ascii_text.h"
#include "base/console_output.h"
#include "base/service_names.h"
#include "service/status_publish.h"

const char kStatusSchemaName[] = "ruziver2-status";

StatusFormState g_statusForm;

namespace {

const char *const kExitWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
const char *const kStateWords[] = {"state 0",          "STOPPED",       "START_PENDING", "STOP_PENDING",
                                   "RUNNING",          "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
const char *const kStartTypeWords[] = {"boot", "system", "automatic", "on demand", "disabled"};
const double kMsPerS = 1000;

// Appends to the form being made; what does not fit is dropped and the form not written.
void Emit(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Emit(const char *format, ...)
{
    StatusFormState &f = g_statusForm;
    const size_t room = sizeof f.text - f.length;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(f.text + f.length, room, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= room) {
        f.overflow = 1;
        return;
    }
    f.length += static_cast<size_t>(written);
}

// The whole form at once, with "\n" line ends, so that a file redirected to holds it as made.
int WriteForm(void)
{
    StatusFormState &f = g_statusForm;
    const int whole = !f.overflow && ConsoleWriteBytes(f.text, static_cast<DWORD>(f.length));
    f = StatusFormState{};
    return whole;
}

// ---- JSON ----

// A string as JSON wants it. Bytes beyond ASCII (a system text in the machine's code page)
// become "?", so that the output is always UTF-8.
void PrintJsonString(const char *text)
{
    if (text == NULL) {
        Emit("null");
        return;
    }
    Emit("\"");
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        if (*c == '"' || *c == '\\')
            Emit("\\%c", *c);
        else if (*c < 0x20)
            Emit("\\u%04x", *c);
        else
            Emit("%c", *c < 0x80 ? *c : '?');
    }
    Emit("\"");
}

// Members of one object, each after a comma but the first.
struct JsonObject {
    int members;

    void Name(const char *name)
    {
        Emit(members++ ? ",\"%s\":" : "\"%s\":", name);
    }
    void Text(const char *name, const char *text)
    {
        Name(name);
        PrintJsonString(text);
    }
    void Whole(const char *name, long long value)
    {
        Name(name);
        Emit("%lld", value);
    }
    void Figure(const char *name, double value, const char *format)
    {
        Name(name);
        if (std::isfinite(value))
            Emit(format, value);
        else
            Emit("null");
    }
    void Truth(const char *name, int value)
    {
        Name(name);
        Emit(value ? "true" : "false");
    }
    void Null(const char *name)
    {
        Name(name);
        Emit("null");
    }
    // Opens an object as a member; the caller closes it with "}".
    JsonObject Open(const char *name)
    {
        Name(name);
        Emit("{");
        return JsonObject{0};
    }
};

void JsonService(JsonObject *top, const StatusView &v)
{
    JsonObject o = top->Open("service");
    o.Text("name", kServiceName);
    o.Text("display_name", kDisplayName);
    const ServiceStates &s = v.states;
    o.Truth("answered", s.readable);
    o.Text("refusal", s.readable ? NULL : s.refusal);
    o.Truth("installed", s.installed);
    if (s.readable && s.installed) {
        o.Text("state", ServiceStateWord(s.status.dwCurrentState));
        o.Whole("exit_code", s.status.dwWin32ExitCode);
        o.Whole("service_exit_code", s.status.dwServiceSpecificExitCode);
    } else {
        o.Null("state");
        o.Null("exit_code");
        o.Null("service_exit_code");
    }
    Emit("}");
}

void JsonSettings(JsonObject *top, const SettingsState &s)
{
    JsonObject o = top->Open("settings");
    o.Text("time_base", s.useUtc ? "UTC" : "local");
    o.Whole("slop_ms", s.slopMs);
    o.Text("mode", s.precise ? "precise" : "stepped");
    o.Figure("board_delay_ms", s.precise ? s.edgeDelayUs / kMsPerS : 0, "%.3f");
    Emit("}");
}

void JsonTime(JsonObject *o, const char *name, ULONGLONG at, double ageS)
{
    if (at == 0) {
        o->Null(name);
        return;
    }
    char text[UTC_TEXT_SIZE];
    FormatUtc(at, text);
    JsonObject t = o->Open(name);
    t.Text("at", text);
    t.Figure("age_s", ageS, "%.3f");
    Emit("}");
}

void JsonPrecise(JsonObject *top, const StatusRecord &r)
{
    if (!r.precise) {
        top->Null("precise");
        return;
    }
    JsonObject o = top->Open("precise");
    o.Figure("offset_ms", r.offsetMs, "%.3f");
    o.Figure("half_width_ms", r.halfWidthMs, "%.3f");
    o.Figure("rate_ppm", r.ratePpm, "%.2f");
    o.Text("state", r.state);
    o.Text("rate_call", r.rateCall);
    o.Figure("rate_scale", r.rateScale, "%.3f");
    Emit("}");
}

void JsonPublished(JsonObject *top, const StatusView &v)
{
    if (v.published != 1) {
        top->Null("published");
        return;
    }
    const StatusRecord &r = v.record;
    JsonObject o = top->Open("published");
    o.Figure("age_s", v.publishedAgeS, "%.3f");
    o.Truth("stale", v.stale);
    o.Text("mode", r.precise ? "precise" : "stepped");
    char board[BOARD_TEXT_SIZE];
    FormatBoard(r.familyCode, r.boardAddress, board);
    o.Text("board", board);
    JsonTime(&o, "written", r.writtenAt, v.publishedAgeS);
    JsonTime(&o, "started", r.startedAt, v.startedAgeS);
    JsonTime(&o, "last_comparison", r.lastComparisonAt, v.comparedAgeS);
    if (r.lastComparisonAt != 0)
        o.Whole("last_offset_ms", r.lastOffsetMs);
    else
        o.Null("last_offset_ms");
    JsonTime(&o, "last_correction", r.lastCorrectionAt, v.correctedAgeS);
    o.Whole("comparisons", r.comparisons);
    o.Whole("out_of_step_comparisons", r.outOfStep);
    o.Whole("corrections", r.corrections);
    o.Whole("unrecorded_corrections", r.unrecorded);
    JsonPrecise(&o, r);
    Emit("}");
}

void JsonWindowsTime(JsonObject *top, const StatusView &v)
{
    JsonObject o = top->Open("windows_time");
    o.Truth("installed", v.peer.installed);
    if (v.peer.installed) {
        o.Text("state", v.states.peerInstalled ? ServiceStateWord(v.states.peerStatus.dwCurrentState) : NULL);
        o.Text("start_type", PeerStartTypeWord(v.peer.startType));
        o.Text("type", v.verdict.type[0] ? v.verdict.type : NULL);
        o.Text("type_from", PeerSourceWord(v.verdict.typeFrom));
        o.Truth("ntp_client_on", v.verdict.ntpClientOn);
        o.Text("ntp_client_from", PeerSourceWord(v.verdict.ntpClientFrom));
        o.Text("decided_by", PeerSourceWord(v.verdict.decidedBy));
    }
    o.Truth("sets_clock", v.verdict.setsClock);
    Emit("}");
}

// ---- Prometheus ----

// One metric family: its help, its type, and one sample without labels.
void Metric(const char *name, const char *type, const char *help, double value)
{
    Emit("# HELP ruziver2_%s %s\n# TYPE ruziver2_%s %s\nruziver2_%s %.9g\n", name, help, name, type, name, value);
}

// A label's value as the format wants it: backslash, quote and line feed escaped.
void PrintLabelValue(const char *text)
{
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        if (*c == '"' || *c == '\\')
            Emit("\\%c", *c);
        else if (*c == '\n')
            Emit("\\n");
        else
            Emit("%c", *c < 0x80 ? *c : '?');
    }
}

void PromInfo(const StatusRecord &r)
{
    Emit("# HELP ruziver2_info The published state's mode, precise state and board; always 1.\n"
                 "# TYPE ruziver2_info gauge\nruziver2_info{mode=\"%s\",state=\"",
                 r.precise ? "precise" : "stepped");
    PrintLabelValue(r.precise ? r.state : "");
    char board[BOARD_TEXT_SIZE];
    FormatBoard(r.familyCode, r.boardAddress, board);
    Emit("\",board=\"");
    PrintLabelValue(board);
    Emit("\",rate_call=\"");
    PrintLabelValue(r.precise ? r.rateCall : "");
    Emit("\"} 1\n");
}

void PromPublished(const StatusView &v)
{
    const StatusRecord &r = v.record;
    PromInfo(r);
    Metric("published_age_seconds", "gauge", "How old the state the service last published is.", v.publishedAgeS);
    if (r.lastComparisonAt != 0) {
        Metric("last_comparison_age_seconds", "gauge", "How long ago the computer was last compared with the board.",
               v.comparedAgeS);
        Metric("last_comparison_offset_seconds", "gauge",
               "The computer minus the board at the last comparison, to the millisecond.", r.lastOffsetMs / kMsPerS);
    }
    if (r.precise) {
        Metric("offset_seconds", "gauge", "The precise mode's offset, the computer minus the board.", r.offsetMs / kMsPerS);
        Metric("offset_half_width_seconds", "gauge", "The half-width of the precise mode's estimate of the offset.",
               r.halfWidthMs / kMsPerS);
        Metric("rate_ppm", "gauge", "The rate the precise mode gives the clock, in parts per million.", r.ratePpm);
    }
    Metric("comparisons_total", "counter", "Comparisons since the service started (precise mode: seconds measured).",
           r.comparisons);
    Metric("out_of_step_comparisons_total", "counter", "Comparisons beyond the slop since the service started.",
           r.outOfStep);
    Metric("corrections_total", "counter", "Changes of the clock since the service started.", r.corrections);
    Metric("unrecorded_corrections", "gauge", "Corrections the event log has not recorded yet.", r.unrecorded);
}

}  // namespace

StatusForm StatusFormFor(const char *word)
{
    if (word == NULL)
        return STATUS_FORM_TEXT;
    if (EqualsIgnoringCase(word, "json"))
        return STATUS_FORM_JSON;
    if (EqualsIgnoringCase(word, "prometheus"))
        return STATUS_FORM_PROMETHEUS;
    return STATUS_FORM_UNKNOWN;
}

const char *StatusExitWord(StatusExit exit) { return kExitWords[exit]; }

const char *ServiceStateWord(DWORD state)
{
    return state < sizeof kStateWords / sizeof *kStateWords ? kStateWords[state] : "state ?";
}

const char *PeerStartTypeWord(DWORD startType)
{
    return startType < sizeof kStartTypeWords / sizeof *kStartTypeWords ? kStartTypeWords[startType] : "unknown";
}

int PrintStatusJson(const StatusView &v)
{
    Emit("{");
    JsonObject top = {0};
    top.Text("schema", kStatusSchemaName);
    top.Whole("version", STATUS_SCHEMA_VERSION);
    top.Whole("status", v.exit);
    top.Text("status_word", StatusExitWord(v.exit));
    top.Text("reason", v.reason);
    JsonService(&top, v);
    JsonSettings(&top, v.settings);
    JsonPublished(&top, v);
    JsonWindowsTime(&top, v);
    Emit("}\n");
    return WriteForm();
}

int PrintStatusPrometheus(const StatusView &v)
{
    Metric("up", "gauge", "1 while the service runs.",
           v.states.readable && v.states.installed && v.states.status.dwCurrentState == SERVICE_RUNNING);
    Emit("# HELP ruziver2_status The exit status of -status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n"
                 "# TYPE ruziver2_status gauge\nruziver2_status{word=\"%s\"} %d\n",
                 StatusExitWord(v.exit), v.exit);
    Metric("slop_seconds", "gauge", "The slop the service loads.", v.settings.slopMs / kMsPerS);
    if (v.published == 1)
        PromPublished(v);
    Metric("windows_time_sets_clock", "gauge", "1 when Windows' time service may set this clock too.",
           v.verdict.setsClock);
    return WriteForm();
}
