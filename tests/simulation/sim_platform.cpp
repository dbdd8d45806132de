// The clock simulation's platform: a virtual board and computer clock.
#include "sim_platform.h"

#include <cmath>
#include <cstring>

#include "civil_time.h"
#include "reader/nttc_reader.h"

SimPlatformState g_sim;

namespace {

void Spend(std::int64_t ns) { g_sim.nowNs += ns; }

std::int64_t EpochMsFrom1601(void)
{
    return CivilDaysFrom1601(SIM_EPOCH_YEAR, SIM_EPOCH_MONTH, SIM_EPOCH_DAY) * CIVIL_MS_PER_DAY;
}

// Whole ms in a count of ns, rounded down for times before the epoch too.
std::int64_t FloorMs(std::int64_t ns)
{
    const std::int64_t ms = ns / SIM_NS_PER_MS;
    return ns % SIM_NS_PER_MS < 0 ? ms - 1 : ms;
}

const std::int64_t kPerPpb = 1000;                  // parts per 10^12 in one per 10^9
const std::int64_t kPpt = 1000000000000;            // parts per 10^12 in one
const std::int64_t kNsPerFileTimeUnit = 100;
// The legacy increment in the finer calls' units: both count 100 ns, the finer per second of
// the counter, the legacy per 15.625 ms tick.
const DWORD64 kPreciseUnitsPerLegacyUnit = SIM_PRECISE_INCREMENT / SIM_TIME_INCREMENT;

std::int64_t Scaled(std::int64_t elapsedNs, std::int64_t ratePpt)
{
    return elapsedNs + static_cast<std::int64_t>(static_cast<__int128>(elapsedNs) * ratePpt / kPpt);
}

// The rate the adjustment in force gives the clock, in parts per 10^12: the legacy call's, or
// the finer call's as the simulated system takes it.
std::int64_t AdjustmentRatePpt(void)
{
    if (g_sim.adjustmentIgnored)
        return 0;
    if (!g_sim.preciseInForce)
        return (static_cast<std::int64_t>(g_sim.adjustment) - SIM_TIME_INCREMENT) * kPpt / SIM_TIME_INCREMENT;
    if (g_sim.preciseDisabled)
        return 0;
    const __int128 documentedPpt =
        (static_cast<__int128>(g_sim.preciseAdjustment) - SIM_PRECISE_INCREMENT) * kPpt / SIM_PRECISE_INCREMENT;
    switch (g_sim.preciseCalls) {
    case SIM_PRECISE_CALLS_REVERSED:
        return static_cast<std::int64_t>(-documentedPpt);
    case SIM_PRECISE_CALLS_SCALE_1000:
        return static_cast<std::int64_t>(1000 * documentedPpt);
    case SIM_PRECISE_CALLS_THOUSANDTH:
        return static_cast<std::int64_t>(documentedPpt / 1000);
    default:
        return static_cast<std::int64_t>(documentedPpt);
    }
}

// The computer clock's rate error, in parts per 10^12: the oscillator's and the adjustment's.
std::int64_t ComputerRatePpt(void)
{
    const std::int64_t driftPpt = g_sim.driftPpb * kPerPpb;
    const std::int64_t adjustPpt = AdjustmentRatePpt();
    return driftPpt + adjustPpt + static_cast<std::int64_t>(static_cast<__int128>(driftPpt) * adjustPpt / kPpt);
}

std::int64_t CounterNs(void) { return g_sim.counterAtSetNs + Scaled(g_sim.nowNs - g_sim.setAtNs, g_sim.driftPpb * kPerPpb); }

// Both clocks go on from where they stand now, at whatever rates follow.
void Restart(void)
{
    g_sim.counterAtSetNs = CounterNs();
    g_sim.computerAtSetNs = SimComputerNs();
    g_sim.setAtNs = g_sim.nowNs;
}

// The clock in UTC (zoneNs 0) or local time (zoneNs the time zone's offset).
SYSTEMTIME ReadComputerClock(std::int64_t zoneNs)
{
    g_sim.lastClockReadNs = g_sim.nowNs;
    ++g_sim.clockReads;
    // The clock shows whole milliseconds, cut, as the platform's clock does.
    g_sim.lastShownMs = FloorMs(SimComputerNs() + zoneNs);
    Spend(g_sim.costs.clockReadNs);
    return CivilTimeFromMs(EpochMsFrom1601() + g_sim.lastShownMs);
}

BOOL SetComputerClock(const SYSTEMTIME *time, std::int64_t zoneNs)
{
    if (!CivilIsValid(*time)) {
        g_sim.lastError = ERROR_INVALID_PARAMETER;
        Spend(g_sim.costs.clockSetNs);
        return FALSE;
    }
    if (g_sim.setsInCheck++ == 0)
        g_sim.offsetBeforeSetNs = SimOffsetNs();
    Restart();
    g_sim.computerAtSetNs = (CivilMsFrom1601(*time) - EpochMsFrom1601()) * SIM_NS_PER_MS - zoneNs;
    g_sim.offsetAfterSetNs = SimOffsetNs();
    g_sim.lastSetNs = g_sim.nowNs;
    ++g_sim.clockSets;
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

// The legacy call's adjustment, with the finer calls reading it in their units.
void SetLegacyAdjustment(DWORD adjustment, BOOL disabled)
{
    Restart();
    g_sim.adjustment = disabled ? SIM_TIME_INCREMENT : adjustment;
    g_sim.adjustmentDisabled = disabled;
    g_sim.preciseAdjustment = g_sim.adjustment * kPreciseUnitsPerLegacyUnit;
    g_sim.preciseDisabled = disabled;
    g_sim.preciseInForce = false;
}

// How long a board read takes, and how far into it the word is taken.
struct ReadTiming {
    std::int64_t durationNs;
    std::int64_t wordAtNs;
};

// A number from 0 to spanNs, uniformly.
std::int64_t UniformNs(std::int64_t spanNs)
{
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(StandinNextRandom(&g_sim.readTimes)) *
                                         static_cast<std::uint64_t>(spanNs + 1) >>
                                     32);
}

ReadTiming NextReadTiming(void)
{
    if (g_sim.costs.readMostNs <= g_sim.costs.readNs)
        return ReadTiming{g_sim.costs.readNs, 0};
    const std::int64_t durationNs = g_sim.costs.readNs + UniformNs(g_sim.costs.readMostNs - g_sim.costs.readNs);
    return ReadTiming{durationNs, UniformNs(durationNs)};
}

// Reads back as set in every variant; moves the clock, and the legacy call's reading, in all
// but the one with no effect.
BOOL WINAPI SetPreciseAdjustment(DWORD64 adjustment, BOOL disabled)
{
    if (g_sim.preciseCalls != SIM_PRECISE_CALLS_NO_EFFECT) {
        Restart();
        g_sim.preciseInForce = true;
        g_sim.adjustment = disabled ? SIM_TIME_INCREMENT
                                    : static_cast<DWORD>((adjustment + kPreciseUnitsPerLegacyUnit / 2) / kPreciseUnitsPerLegacyUnit);
        g_sim.adjustmentDisabled = disabled;
    }
    g_sim.preciseAdjustment = disabled ? SIM_PRECISE_INCREMENT : adjustment;
    g_sim.preciseDisabled = disabled;
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

BOOL WINAPI GetPreciseAdjustment(PDWORD64 adjustment, PDWORD64 increment, PBOOL disabled)
{
    *adjustment = g_sim.preciseAdjustment;
    *increment = SIM_PRECISE_INCREMENT;
    *disabled = g_sim.preciseDisabled;
    return TRUE;
}

// A function's address as GetProcAddress hands it out.
template <typename Call>
FARPROC AsProc(Call call)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(call));
}

}  // namespace

std::int64_t SimComputerNs(void) { return g_sim.computerAtSetNs + Scaled(g_sim.nowNs - g_sim.setAtNs, ComputerRatePpt()); }

std::int64_t SimBoardNs(void) { return g_sim.nowNs + g_sim.boardShiftNs; }

void SimSetDriftPpb(std::int64_t driftPpb)
{
    Restart();
    g_sim.driftPpb = driftPpb;
}

std::int64_t SimOffsetNs(void) { return SimComputerNs() + g_sim.localOffsetNs - SimBoardNs(); }

void SimStepClockNs(std::int64_t byNs)
{
    Restart();
    g_sim.computerAtSetNs += byNs;
}

void SimSetClockToBoardNs(std::int64_t offsetNs)
{
    Restart();
    g_sim.computerAtSetNs = SimBoardNs() + offsetNs - g_sim.localOffsetNs;
}

void SimSetOthersRatePpm(double ratePpm)
{
    SetLegacyAdjustment(static_cast<DWORD>(std::llround(SIM_TIME_INCREMENT * (1 + ratePpm / 1e6))), FALSE);
}

void SimHandBackOthersRate(void) { SetLegacyAdjustment(SIM_TIME_INCREMENT, TRUE); }

void SimSuspendNs(std::int64_t forNs, bool counterRuns, std::int64_t clockErrorNs)
{
    Restart();
    if (counterRuns)
        g_sim.counterAtSetNs += Scaled(forNs, g_sim.driftPpb * kPerPpb);
    g_sim.computerAtSetNs += forNs + clockErrorNs;
    g_sim.nowNs += forNs;
    g_sim.setAtNs = g_sim.nowNs;
}

void SimIgnoreRates(bool ignored)
{
    Restart();
    g_sim.adjustmentIgnored = ignored;
}

void SimFreezeBoard(bool frozen)
{
    g_sim.boardFrozen = frozen;
    g_sim.frozenWord = StandinTimeWord(FloorMs(SimBoardNs()) % CIVIL_MS_PER_DAY, g_sim.frameRate);
}

// With faults, one percent draw a read: a failure first, then a torn word, as the stand-in's.
// A silent board fails every read, a frozen one answers the same word.
extern "C" int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *)
{
    const ReadTiming timing = NextReadTiming();
    g_sim.lastReadNs = g_sim.nowNs + timing.wordAtNs;
    const std::int64_t msOfDay = FloorMs(SimBoardNs() + timing.wordAtNs) % CIVIL_MS_PER_DAY;
    const int draw = g_sim.readFailPercent + g_sim.tornReadPercent ? StandinDrawPercent(&g_sim.faults) : 100;
    Spend(timing.durationNs);
    if (g_sim.boardSilent || draw < g_sim.readFailPercent)
        return 0;
    if (g_sim.boardFrozen) {
        *timeCodeWord = g_sim.frozenWord;
        return 1;
    }
    *timeCodeWord = draw < g_sim.readFailPercent + g_sim.tornReadPercent ? StandinTornWord(msOfDay, g_sim.frameRate)
                                                                         : StandinTimeWord(msOfDay, g_sim.frameRate);
    return 1;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *frequency)
{
    frequency->QuadPart = SIM_NS_PER_S / kNsPerFileTimeUnit;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count)
{
    count->QuadPart = CounterNs() / kNsPerFileTimeUnit;
    Spend(g_sim.costs.counterNs);
    return TRUE;
}

void WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME time)
{
    g_sim.lastClockReadNs = g_sim.nowNs;
    ++g_sim.clockReads;
    ULARGE_INTEGER units;
    units.QuadPart = static_cast<ULONGLONG>(EpochMsFrom1601() * 10000 + SimComputerNs() / kNsPerFileTimeUnit);
    *time = FILETIME{units.LowPart, units.HighPart};
    Spend(g_sim.costs.clockReadNs);
}

// Local time: UTC plus the time zone's offset in force now.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local)
{
    ULARGE_INTEGER units;
    units.LowPart = utc->dwLowDateTime;
    units.HighPart = utc->dwHighDateTime;
    units.QuadPart += static_cast<ULONGLONG>(g_sim.localOffsetNs / kNsPerFileTimeUnit);
    *local = FILETIME{units.LowPart, units.HighPart};
    return TRUE;
}

// Since the system started, at the epoch: virtual time, suspends included.
ULONGLONG WINAPI GetTickCount64(void) { return static_cast<ULONGLONG>(g_sim.nowNs / SIM_NS_PER_MS); }

// Console output links in with the library; the simulated runs never write raw bytes.
HANDLE WINAPI GetStdHandle(DWORD) { return NULL; }
BOOL WINAPI WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return FALSE; }

BOOL WINAPI GetSystemTimeAdjustment(PDWORD adjustment, PDWORD increment, PBOOL disabled)
{
    *adjustment = g_sim.adjustment;
    *increment = SIM_TIME_INCREMENT;
    *disabled = g_sim.adjustmentDisabled;
    return TRUE;
}

BOOL WINAPI SetSystemTimeAdjustment(DWORD adjustment, BOOL disabled)
{
    SetLegacyAdjustment(adjustment, disabled);
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

// Every library is there; it serves the finer adjustment calls when the simulation has them.
HMODULE WINAPI GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(1); }
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR name)
{
    if (g_sim.preciseCalls == SIM_PRECISE_CALLS_NONE)
        return NULL;
    if (std::strcmp(name, "SetSystemTimeAdjustmentPrecise") == 0)
        return AsProc(&SetPreciseAdjustment);
    if (std::strcmp(name, "GetSystemTimeAdjustmentPrecise") == 0)
        return AsProc(&GetPreciseAdjustment);
    return NULL;
}

DWORD WINAPI GetLastError(void) { return g_sim.lastError; }

BOOL WINAPI MessageBeep(UINT) { return TRUE; }

void WINAPI GetLocalTime(LPSYSTEMTIME time) { *time = ReadComputerClock(g_sim.localOffsetNs); }

void WINAPI GetSystemTime(LPSYSTEMTIME time) { *time = ReadComputerClock(0); }

BOOL WINAPI SetLocalTime(const SYSTEMTIME *time) { return SetComputerClock(time, g_sim.localOffsetNs); }

BOOL WINAPI SetSystemTime(const SYSTEMTIME *time) { return SetComputerClock(time, 0); }

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME *systemTime, LPFILETIME fileTime)
{
    if (!CivilToFileTime(*systemTime, fileTime)) {
        g_sim.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME *fileTime, LPSYSTEMTIME systemTime)
{
    if (!CivilFromFileTime(*fileTime, systemTime)) {
        g_sim.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)
{
    g_sim.lastError = ERROR_SUCCESS;
    Spend(g_sim.costs.privilegeNs);
    return TRUE;
}
