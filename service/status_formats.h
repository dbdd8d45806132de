// `-status`'s forms for machines: `-status json`, one JSON object in the schema
// "ruziver2-status" (its version in the object; a new field keeps the version, a changed or
// removed one takes the next), and `-status prometheus`, Prometheus' text exposition format
// (metrics named "ruziver2_...", base units, no time stamps, ending in a newline), for the
// Windows exporter's text-file folder. Both carry what the text form does, from one view of
// the facts that service/status_command gathers.
#pragma once

#include <windows.h>

#include "engine/peer_rule.h"
#include "engine/settings_word.h"
#include "service/status_command.h"
#include "service/status_exit_rule.h"
#include "service/status_record.h"

extern const char kStatusSchemaName[];  // "ruziver2-status"
enum { STATUS_SCHEMA_VERSION = 1 };

enum StatusForm { STATUS_FORM_TEXT, STATUS_FORM_JSON, STATUS_FORM_PROMETHEUS, STATUS_FORM_UNKNOWN };

// "json" and "prometheus", in any case; no word is the text form.
StatusForm StatusFormFor(const char *word);

// Everything -status tells, gathered once.
struct StatusView {
    // The Service Control Manager's answers on this service and on Windows' time service.
    ServiceStates states;
    SettingsState settings;
    // The published state: 0 nothing, 1 a whole record, -1 one that could not be read.
    int published;
    StatusRecord record;
    double publishedAgeS, startedAgeS, comparedAgeS, correctedAgeS;
    int stale;
    // Windows' time service: the registry's word on it.
    TimeServicePeer peer;
    PeerVerdict verdict;
    StatusExit exit;
    const char *reason;
};

// The words the text form prints too.
const char *StatusExitWord(StatusExit exit);            // "OK", "WARNING", ...
const char *ServiceStateWord(DWORD state);              // "RUNNING", "STOPPED", ...
const char *PeerStartTypeWord(DWORD startType);         // "automatic", "on demand", ...

// Each form is made whole in the record below and written at once; 0 when it could not be.
struct StatusFormState {
    char text[16384];
    size_t length;
    int overflow;
};

extern StatusFormState g_statusForm;

int PrintStatusJson(const StatusView &view);
int PrintStatusPrometheus(const StatusView &view);
