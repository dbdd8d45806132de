// The kinds of polling tick, each one path through CheckTime, set up on the lean platform so
// that tick after tick of a kind takes the same path: for the benchmark, the callgrind
// driver and the allocation test.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/time_check.h"

enum TickKind {
    TICK_READS,                     // not armed, a byte without bit 0x10: two reads, no more
    TICK_READS_ARMED,               // armed, a non-zero byte: two reads, still armed
    TICK_TORN_READ,                 // the two reads differ: a third read, whose word stands
    TICK_FAILED_READ,               // the last read fails: the word's arming bit does not count
    TICK_ARMS,                      // a byte with bit 0x10 arms the check
    TICK_EXCLUDED,                  // armed, byte zero at 59:59: disarms without comparing
    TICK_IN_STEP,                   // armed, byte zero, the clock within the slop
    TICK_FORGIVEN,                  // out of step after an in-step comparison: forgiven
    TICK_CORRECTS,                  // out of step, nothing to forgive: the clock is set
    TICK_CORRECTS_UTC,              // the same on the UTC clock
    TICK_CORRECTS_ACROSS_MIDNIGHT,  // the board's date is the day after the computer's
    TICK_CORRECTS_CONSOLE,          // the same as TICK_CORRECTS under -debug: beeps and traces
    TICK_SET_FAILS,                 // the clock refuses the new time
    TICK_ENABLE_FAILS,              // the clock privilege is not held
    TICK_KIND_COUNT
};

struct TickKindInfo {
    const char *name;
    int armedBefore;  // the flags each tick starts from
    int inStepBefore;
    int armedAfter;  // and leaves
    int inStepAfter;
    int result;  // CheckTime's result
    // Calls each tick makes.
    int reads;
    int clockReads;
    int clockSets;
    int privilegeEnables;
    int privilegeDisables;
    int beeps;
    int dateConversions;
};

extern const TickKindInfo kTickKinds[TICK_KIND_COUNT];

// The kind of that name, or -1.
int TickKindByName(const char *name);

// Resets the lean platform and the records CheckTime reads, and sets them up for ticks of
// this kind. Not meant to be timed.
void PrepareTicks(TickKind kind);

// Puts back the two flags that a tick changes, so that the next tick takes the same path:
// two stores, cheap enough to stay inside a timed loop.
inline void RearmTick(TickKind kind)
{
    g_timeCheck.armed = kTickKinds[kind].armedBefore;
    g_timeCheck.inStep = kTickKinds[kind].inStepBefore;
}

// 1 when the lean platform's call counts, the flags and the sum of CheckTime's results are
// those of `ticks` ticks of this kind since PrepareTicks; otherwise 0, with the first
// difference in `why`.
int TickCountsMatch(TickKind kind, std::uint64_t ticks, std::uint64_t resultSum, char *why, std::size_t whySize);
