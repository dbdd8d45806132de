// The exit status of `-status`, by the convention of monitoring plug-ins (Nagios and the
// systems that run such plug-ins): 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
//
// Pure code, no platform call: service/status_command gathers the facts.
#pragma once

#include <windows.h>

enum StatusExit { STATUS_OK = 0, STATUS_WARNING = 1, STATUS_CRITICAL = 2, STATUS_UNKNOWN = 3 };

struct StatusFacts {
    int readable;            // 0: the manager or the published state could not be read
    int installed;
    DWORD state;             // SERVICE_RUNNING, SERVICE_STOPPED, ...
    DWORD exitCode;          // as the manager keeps it: 1066 for a start-up that gave up
    int published;           // 1: a published state was read
    double publishedAgeS;    // how old it is
    int compared;            // 1: it tells of a comparison
    double comparedAgeS;
    LONG lastOffsetMs;       // the computer minus the board at that comparison
    LONG slopMs;             // as the service loads it
    int monitoring;          // the precise mode only measures: the clock did not follow it
    int holdover;            // the precise mode has no time from the board: nothing is compared
    int limited;             // the clock's own rate is beyond the precise mode's: steps only
    int peerSetsClock;       // Windows' time service may set this clock too
};

// A published state older than this, while the service runs, is stale.
const double STATUS_STALE_S = 30;
// A comparison older than this is not recent.
const double STATUS_RECENT_COMPARISON_S = 10;

// The exit status, and in *reason the words for it ("running, in step", "stopped", ...).
StatusExit StatusExitFor(const StatusFacts &facts, const char **reason);
