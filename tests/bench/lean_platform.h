// A lean platform for measuring the polling tick: the reader library's NttcReadTime and the
// Win32 calls that CheckTime makes, answered from one record, with no formatting, no locks
// and no allocation, so that a measurement of a tick is the product's own cost. (The
// recording fake of the unit tests formats a line for every call, which would cost more
// than the tick itself.)
//
// Only CheckTime's module is taken from the product's engine, with the console output it
// traces through; PrepareTicks (tick_kinds.h) gives it its inputs as the worker's start-up
// would (StartTestTimeCheck).
#pragma once

#include <windows.h>

#include <cstdint>

const int LEAN_MAX_WORDS = 4;

struct LeanPlatformState {
    // NttcReadTime answers these words in turn, round and round, with `readResult`.
    DWORD words[LEAN_MAX_WORDS];
    int wordCount;
    int nextWord;
    int readResult;

    // GetLocalTime and GetSystemTime both answer `clock`. A set call answers `setResult`
    // and keeps its time in `lastSet`; it does not move `clock`, so that every tick of a
    // kind finds the clock as the one before it did.
    SYSTEMTIME clock;
    SYSTEMTIME lastSet;
    BOOL setResult;

    // The last error that enabling the privilege leaves (0, or ERROR_NOT_ALL_ASSIGNED when
    // the privilege is not held); disabling leaves 0.
    DWORD enableError;
    DWORD lastError;

    // Calls made.
    std::uint64_t reads;
    std::uint64_t clockReads;
    std::uint64_t clockSets;
    std::uint64_t privilegeEnables;
    std::uint64_t privilegeDisables;
    std::uint64_t beeps;
    std::uint64_t dateConversions;  // SystemTimeToFileTime and FileTimeToSystemTime
};

extern LeanPlatformState g_lean;

// Back to one word 0x00000000 read successfully, a clock at 2026-03-01 00:00:00.000 that
// sets successfully, the privilege held, and no calls counted.
void LeanReset(void);

// NttcReadTime answers these words in turn from the next read on (1 to LEAN_MAX_WORDS).
void LeanAnswerWords(const DWORD *words, int count);
