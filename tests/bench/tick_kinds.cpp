// The kinds of polling tick on the lean platform.
#include "tick_kinds.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "civil_time.h"
#include "engine/time_check.h"
#include "lean_platform.h"
#include "time_check_setup.h"

// name, armed/inStep before, armed/inStep after, result,
// reads, clock reads, clock sets, enables, disables, beeps, date conversions
// (a local correction sets the clock twice, for daylight saving; a UTC one once)
const TickKindInfo kTickKinds[TICK_KIND_COUNT] = {
    {"reads", 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0},
    {"reads_armed", 1, 0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0},
    {"torn_read", 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0},
    {"failed_read", 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0},
    {"arms", 0, 0, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0},
    {"excluded", 1, 1, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0},
    {"in_step", 1, 0, 0, 1, 1, 2, 1, 0, 0, 0, 0, 0},
    {"forgiven", 1, 1, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0},
    {"corrects", 1, 0, 0, 1, 1, 2, 1, 2, 1, 1, 0, 0},
    {"corrects_utc", 1, 0, 0, 1, 1, 2, 1, 1, 1, 1, 0, 0},
    {"corrects_across_midnight", 1, 0, 0, 1, 1, 2, 1, 2, 1, 1, 0, 2},
    {"corrects_console", 1, 0, 0, 1, 1, 2, 1, 2, 1, 1, 1, 0},
    {"set_fails", 1, 0, 0, 0, 0, 2, 1, 1, 1, 1, 0, 0},
    {"enable_fails", 1, 0, 0, 0, 0, 2, 1, 0, 1, 0, 0, 0},
};

namespace {


// The board shows 12:34:56 (frame byte added per kind); the computer clock reads 60 ms past
// that second, 10 ms from the board's comparison point, or a second later when out of step.
const DWORD kBoardSecond = 0x12345600;
const DWORD kBoard5959 = 0x12595900;
const DWORD kBoardJustAfterMidnight = 0x00000100;  // 00:00:01

SYSTEMTIME ClockAt(int day, int hour, int minute, int second, int millisecond)
{
    return CivilTimeFromMs(CivilDaysFrom1601(2026, 3, day) * CIVIL_MS_PER_DAY +
                           ((hour * 60 + minute) * 60 + second) * std::int64_t{1000} + millisecond);
}

void PrepareRecords(void)
{
    g_console = ConsoleState{0};
    StartTestTimeCheck(150, 0);
}

void AnswerWord(DWORD word) { LeanAnswerWords(&word, 1); }

}  // namespace

int TickKindByName(const char *name)
{
    for (int kind = 0; kind < TICK_KIND_COUNT; ++kind)
        if (std::strcmp(kTickKinds[kind].name, name) == 0)
            return kind;
    return -1;
}

void PrepareTicks(TickKind kind)
{
    LeanReset();
    PrepareRecords();
    g_lean.clock = ClockAt(1, 12, 34, 56, 60);
    const SYSTEMTIME outOfStep = ClockAt(1, 12, 34, 57, 0);
    switch (kind) {
    case TICK_READS:
    case TICK_READS_ARMED:
        AnswerWord(kBoardSecond | 0x05);
        break;
    case TICK_TORN_READ: {
        const DWORD words[] = {kBoardSecond | 0x05, (kBoardSecond + 0x100) | 0x05, kBoardSecond | 0x06};
        LeanAnswerWords(words, 3);
        break;
    }
    case TICK_FAILED_READ:
        AnswerWord(kBoardSecond | 0x10);
        g_lean.readResult = 0;
        break;
    case TICK_ARMS:
        AnswerWord(kBoardSecond | 0x10);
        break;
    case TICK_EXCLUDED:
        AnswerWord(kBoard5959);
        break;
    case TICK_IN_STEP:
        AnswerWord(kBoardSecond);
        break;
    case TICK_FORGIVEN:
    case TICK_CORRECTS:
    case TICK_CORRECTS_CONSOLE:
        AnswerWord(kBoardSecond);
        g_lean.clock = outOfStep;
        g_console.consoleMode = kind == TICK_CORRECTS_CONSOLE;
        break;
    case TICK_CORRECTS_UTC:
        AnswerWord(kBoardSecond);
        g_lean.clock = outOfStep;
        g_timeCheck.inputs.useUtc = 1;
        break;
    case TICK_CORRECTS_ACROSS_MIDNIGHT:
        AnswerWord(kBoardJustAfterMidnight);
        g_lean.clock = ClockAt(1, 23, 59, 59, 500);
        break;
    case TICK_SET_FAILS:
        AnswerWord(kBoardSecond);
        g_lean.clock = outOfStep;
        g_lean.setResult = FALSE;
        break;
    case TICK_ENABLE_FAILS:
        AnswerWord(kBoardSecond);
        g_lean.clock = outOfStep;
        g_lean.enableError = ERROR_NOT_ALL_ASSIGNED;
        break;
    case TICK_KIND_COUNT:
        break;
    }
    RearmTick(kind);
}

int TickCountsMatch(TickKind kind, std::uint64_t ticks, std::uint64_t resultSum, char *why, std::size_t whySize)
{
    const TickKindInfo &info = kTickKinds[kind];
    struct Count {
        const char *what;
        std::uint64_t seen;
        int perTick;
    };
    const Count counts[] = {
        {"results", resultSum, info.result},
        {"reads", g_lean.reads, info.reads},
        {"clock reads", g_lean.clockReads, info.clockReads},
        {"clock sets", g_lean.clockSets, info.clockSets},
        {"privilege enables", g_lean.privilegeEnables, info.privilegeEnables},
        {"privilege disables", g_lean.privilegeDisables, info.privilegeDisables},
        {"beeps", g_lean.beeps, info.beeps},
        {"date conversions", g_lean.dateConversions, info.dateConversions},
    };
    for (const Count &count : counts) {
        const std::uint64_t expected = ticks * static_cast<std::uint64_t>(count.perTick);
        if (count.seen != expected) {
            std::snprintf(why, whySize, "%s: %" PRIu64 " %s after %" PRIu64 " ticks, expected %" PRIu64, info.name,
                          count.seen, count.what, ticks, expected);
            return 0;
        }
    }
    if (ticks > 0 && (g_timeCheck.armed != info.armedAfter || g_timeCheck.inStep != info.inStepAfter)) {
        std::snprintf(why, whySize, "%s: flags armed=%d inStep=%d after a tick, expected %d and %d", info.name,
                      g_timeCheck.armed, g_timeCheck.inStep, info.armedAfter, info.inStepAfter);
        return 0;
    }
    return 1;
}
