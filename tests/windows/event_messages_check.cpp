// Keeps the identifiers the program reports its event-log entries with (service/event_messages.h)
// equal to windmc's for the message table linked into the program (service/event_messages.mc):
// an entry whose identifier is not in the table shows in Event Viewer without its text.
//
// Compiled, never linked, in the win32 and win64 builds, which run windmc. A difference is a
// compile error that names the identifier.
#include <windows.h>

#include "service/event_messages.h"
// windmc's header, generated into the build tree (cmake/windows.cmake).
#include "message_table/event_messages.h"

#define SAME_AS_MESSAGE_TABLE(ours, windmcs) \
    static_assert((ours) == (windmcs), #ours " is not " #windmcs " of service/event_messages.mc")

SAME_AS_MESSAGE_TABLE(EVENT_SERVICE_ERROR, MSG_SERVICE_ERROR);
SAME_AS_MESSAGE_TABLE(EVENT_STARTUP_FAILED, MSG_STARTUP_FAILED);
SAME_AS_MESSAGE_TABLE(EVENT_CLOCK_SET, MSG_CLOCK_SET);
SAME_AS_MESSAGE_TABLE(EVENT_ADJUSTMENT_IGNORED, MSG_ADJUSTMENT_IGNORED);
SAME_AS_MESSAGE_TABLE(EVENT_TIME_SERVICE_PEER, MSG_TIME_SERVICE_PEER);
SAME_AS_MESSAGE_TABLE(EVENT_STATUS_NOT_PUBLISHED, MSG_STATUS_NOT_PUBLISHED);
SAME_AS_MESSAGE_TABLE(EVENT_CLOCK_SET_COUNT, MSG_CLOCK_SET_COUNT);
SAME_AS_MESSAGE_TABLE(EVENT_PRECISE_NO_PRIVILEGE, MSG_PRECISE_NO_PRIVILEGE);
SAME_AS_MESSAGE_TABLE(EVENT_PRECISE_LIMITED, MSG_PRECISE_LIMITED);
SAME_AS_MESSAGE_TABLE(EVENT_PRECISE_NO_RATE_CALL, MSG_PRECISE_NO_RATE_CALL);
SAME_AS_MESSAGE_TABLE(EVENT_PRECISE_RIVAL_RATE, MSG_PRECISE_RIVAL_RATE);
SAME_AS_MESSAGE_TABLE(EVENT_TIME_SERVICE_PEER_POLICY, MSG_TIME_SERVICE_PEER_POLICY);
