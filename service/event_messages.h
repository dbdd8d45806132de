// The identifiers of the program's event-log entries, as service/event_messages.mc gives
// them to the message table (the Windows builds check that the two agree). Each carries its
// severity in its top two bits; ReportEvent is given it whole.
#pragma once

#include <windows.h>

enum EventMessage : DWORD {
    // "ZYN_NT_Horavex2 error: <code>", and what failed (a refused report, no dispatcher).
    EVENT_SERVICE_ERROR = 0x00000000,
    // The start-up failed: code, step, system text.
    EVENT_STARTUP_FAILED = 0xC0000001,
    // The clock was set: board time, computer time before, offset, time base, unrecorded.
    EVENT_CLOCK_SET = 0x40000002,
    // The precise mode's "step" or "rate" did not change the clock: measuring only, an hour.
    EVENT_ADJUSTMENT_IGNORED = 0x80000003,
    // Windows' time service may set this clock too: its Type.
    EVENT_TIME_SERVICE_PEER = 0x80000004,
    // The service's state could not be published: the system's text.
    EVENT_STATUS_NOT_PUBLISHED = 0x80000005,
    // Corrections left unrecorded by the one-a-minute limit: their count.
    EVENT_CLOCK_SET_COUNT = 0x40000006,
    // The precise mode cannot enable the clock privilege: the system's text; only measuring.
    EVENT_PRECISE_NO_PRIVILEGE = 0x80000007,
    // The clock's own rate is beyond what the precise mode's rate can take back: that rate.
    EVENT_PRECISE_LIMITED = 0x80000008,
    // Neither time adjustment call moved the clock: steps only.
    EVENT_PRECISE_NO_RATE_CALL = 0x80000009,
    // Another program's rate is in force on the clock: that rate; steps only.
    EVENT_PRECISE_RIVAL_RATE = 0x8000000A,
    // Windows' time service may set this clock too, by Group Policy: the policy's Type.
    EVENT_TIME_SERVICE_PEER_POLICY = 0x8000000B
};
