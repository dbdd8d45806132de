// The clock simulation's platform: a virtual board and a virtual computer clock, both on one
// virtual time line, behind the reader library's NttcReadTime and the Win32 calls that
// CheckTime makes. Time only moves when the simulation moves it: by the polling wait, and by
// the modelled duration of each call that CheckTime makes.
//
// The board is the reference: its time code follows the virtual time exactly (moved on by
// the jumps the simulation gives it), frame by frame as the stand-in library builds it
// (reader/standin/standin_words.h). The computer clock keeps UTC and runs from where it was
// last set at a rate off by a set drift, and by the time adjustment (the legacy call's units:
// 100 ns per 15.625 ms tick, 6.4 ppm each; or the finer calls', when the simulation hands
// them out). Its local time is UTC plus the time zone's offset, 0 unless the simulation
// changes it; the board shows local time. SetLocalTime really moves it; the clock privilege is
// always held. The performance counter (10 MHz) runs on the same oscillator, off by the drift
// alone.
//
// Only CheckTime's module is taken from the product's engine, with the console output it
// traces through; the simulation gives it its inputs as the worker's start-up would
// (StartTestTimeCheck).
#pragma once

#include <windows.h>

#include <cstdint>

#include "reader/standin/standin_words.h"

const std::int64_t SIM_NS_PER_MS = 1000000;
const std::int64_t SIM_NS_PER_S = 1000000000;

// Virtual time counts ns from 2026-03-01 00:00 on the board's clock (ns from 1601 would not
// fit in 64 bits). The computer clock counts from the same moment of its own calendar.
const int SIM_EPOCH_YEAR = 2026;
const int SIM_EPOCH_MONTH = 3;
const int SIM_EPOCH_DAY = 1;

// How long each call takes, in ns of virtual time.
struct SimCallCosts {
    std::int64_t readNs;       // NttcReadTime: the board read through the maker's library
    std::int64_t clockReadNs;  // GetLocalTime, GetSystemTime
    std::int64_t clockSetNs;   // SetLocalTime, SetSystemTime
    std::int64_t privilegeNs;  // AdjustTokenPrivileges
    std::int64_t counterNs;    // QueryPerformanceCounter
    // 0: every board read takes readNs, and the board's word is taken as it begins. Otherwise
    // each takes readNs to readMostNs, uniformly, and the word is taken at a uniform moment
    // within it: a library that talks to the board over a slow bus.
    std::int64_t readMostNs;
};

const DWORD SIM_TIME_INCREMENT = 156250;  // of the time adjustment, 100 ns per clock tick

// The finer rate calls, SetSystemTimeAdjustmentPrecise and GetSystemTimeAdjustmentPrecise, as
// GetProcAddress hands them out: not at all (the system before Windows 10), or calls whose
// increment reads as the counter's frequency (SIM_PRECISE_INCREMENT) and whose adjustment
// moves the clock as documented (rate = adjustment / increment - 1), the other way, a thousand
// times as far, a thousandth as far, or not at all (read back as set all the same). The legacy calls work beside
// them; the rate in force is that of the call made last, and each call reads the other's
// adjustment in its own units.
enum SimPreciseCalls {
    SIM_PRECISE_CALLS_NONE,
    SIM_PRECISE_CALLS_DOCUMENTED,
    SIM_PRECISE_CALLS_REVERSED,
    SIM_PRECISE_CALLS_SCALE_1000,
    SIM_PRECISE_CALLS_THOUSANDTH,
    SIM_PRECISE_CALLS_NO_EFFECT
};
const DWORD64 SIM_PRECISE_INCREMENT = 10000000;

struct SimPlatformState {
    // Virtual time: ns since the epoch on the board's clock, which is the reference.
    std::int64_t nowNs;
    int frameRate;  // of the board's time code: 25 or 30
    SimCallCosts costs;

    // The computer clock reads computerAtSetNs + elapsed * (1 + rate / 10^12), where
    // elapsed = nowNs - setAtNs and the rate, in parts per 10^12, is the drift's and the
    // adjustment's together; the counter, counterAtSetNs + elapsed * (1 + drift). Both start
    // again from where they stand at every change of rate.
    std::int64_t computerAtSetNs;
    std::int64_t counterAtSetNs;
    std::int64_t setAtNs;
    std::int64_t driftPpb;
    DWORD adjustment;         // SIM_TIME_INCREMENT + units; SIM_TIME_INCREMENT when disabled
    BOOL adjustmentDisabled;  // the system keeps the clock: no adjustment of a program's
    bool adjustmentIgnored;   // a set is read back as made, but the clock's rate stays: what
                              // only a check of the clock against the counter can tell
    SimPreciseCalls preciseCalls;
    DWORD64 preciseAdjustment;  // as the finer calls read it: SIM_PRECISE_INCREMENT + units
    BOOL preciseDisabled;
    bool preciseInForce;        // the finer call was made last and moved the clock

    // The board shows virtual time plus boardShiftNs (it jumped); local time is UTC plus
    // localOffsetNs (the computer's time zone). While frozen, every read answers frozenWord;
    // while silent, every read fails.
    std::int64_t boardShiftNs;
    std::int64_t localOffsetNs;
    bool boardFrozen;
    DWORD frozenWord;
    bool boardSilent;

    // Reads: this percentage fails, and this one returns a torn word.
    int readFailPercent;
    int tornReadPercent;
    StandinPrng faults;
    StandinPrng readTimes;  // of the slow reads' durations

    DWORD lastError;

    // What the latest calls did, for the simulation's records.
    std::int64_t lastReadNs;        // virtual time at which the latest NttcReadTime took its word
    std::int64_t lastClockReadNs;   // virtual time of the latest computer clock read
    std::int64_t lastShownMs;       // what it showed, in whole ms since the epoch
    std::uint64_t clockReads;       // one per comparison
    std::uint64_t clockSets;        // successful sets
    int setsInCheck;                // successful sets since the simulation last cleared it:
                                    // a local correction sets the clock twice
    std::int64_t offsetBeforeSetNs;  // computer minus board just before the first set of the
                                     // check, and just after the latest set
    std::int64_t offsetAfterSetNs;
    std::int64_t lastSetNs;          // virtual time of the latest set
};

extern SimPlatformState g_sim;

// The computer clock now, UTC, in ns since the epoch.
std::int64_t SimComputerNs(void);

// The board's time now, in ns since the epoch: virtual time, moved on by its jumps.
std::int64_t SimBoardNs(void);

// The computer clock's local time's offset from the board now, in ns (positive: the computer
// is ahead).
std::int64_t SimOffsetNs(void);

// Changes the oscillator's drift from now on (a wandering drift, a step in the drift).
void SimSetDriftPpb(std::int64_t driftPpb);

// What others do to the computer, behind the program's back (no call of the program's, no
// virtual time spent):
// the clock stepped by byNs (an administrator, another program's one-off set);
void SimStepClockNs(std::int64_t byNs);
// the clock set so that its local time is the board's plus offsetNs (a time service's step);
void SimSetClockToBoardNs(std::int64_t offsetNs);
// a rate of another's own given through the legacy call, or the system's taken back;
void SimSetOthersRatePpm(double ratePpm);
void SimHandBackOthersRate(void);
// a suspend of forNs: virtual time moves on, the counter stands still or runs on, and on
// resume the clock is read again from the hardware clock: it has moved on by forNs, off by
// clockErrorNs;
void SimSuspendNs(std::int64_t forNs, bool counterRuns, std::int64_t clockErrorNs);
// the board frozen on the word it shows now, or running again;
void SimFreezeBoard(bool frozen);
// the system keeping every adjustment as set and read back, but moving the clock by none;
void SimIgnoreRates(bool ignored);
