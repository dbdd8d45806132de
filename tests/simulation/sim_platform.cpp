// The clock simulation's platform: a virtual board and computer clock.
#include "sim_platform.h"

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

std::int64_t Scaled(std::int64_t elapsedNs, std::int64_t ratePpt)
{
    return elapsedNs + static_cast<std::int64_t>(static_cast<__int128>(elapsedNs) * ratePpt / kPpt);
}

// The computer clock's rate error, in parts per 10^12: the oscillator's and the adjustment's.
std::int64_t ComputerRatePpt(void)
{
    const std::int64_t driftPpt = g_sim.driftPpb * kPerPpb;
    const std::int64_t adjustPpt =
        g_sim.adjustmentIgnored ? 0 : (static_cast<std::int64_t>(g_sim.adjustment) - SIM_TIME_INCREMENT) * kPpt / SIM_TIME_INCREMENT;
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

SYSTEMTIME ReadComputerClock(void)
{
    g_sim.lastClockReadNs = g_sim.nowNs;
    ++g_sim.clockReads;
    // The clock shows whole milliseconds, cut, as the platform's clock does.
    g_sim.lastShownMs = FloorMs(SimComputerNs());
    Spend(g_sim.costs.clockReadNs);
    return CivilTimeFromMs(EpochMsFrom1601() + g_sim.lastShownMs);
}

BOOL SetComputerClock(const SYSTEMTIME *time)
{
    if (!CivilIsValid(*time)) {
        g_sim.lastError = ERROR_INVALID_PARAMETER;
        Spend(g_sim.costs.clockSetNs);
        return FALSE;
    }
    if (g_sim.setsInCheck++ == 0)
        g_sim.offsetBeforeSetNs = SimOffsetNs();
    Restart();
    g_sim.computerAtSetNs = (CivilMsFrom1601(*time) - EpochMsFrom1601()) * SIM_NS_PER_MS;
    g_sim.offsetAfterSetNs = SimOffsetNs();
    g_sim.lastSetNs = g_sim.nowNs;
    ++g_sim.clockSets;
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

}  // namespace

std::int64_t SimComputerNs(void) { return g_sim.computerAtSetNs + Scaled(g_sim.nowNs - g_sim.setAtNs, ComputerRatePpt()); }

void SimSetDriftPpb(std::int64_t driftPpb)
{
    Restart();
    g_sim.driftPpb = driftPpb;
}

std::int64_t SimOffsetNs(void) { return SimComputerNs() - g_sim.nowNs; }

// With faults, one percent draw a read: a failure first, then a torn word, as the stand-in's.
extern "C" int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *)
{
    g_sim.lastReadNs = g_sim.nowNs;
    const std::int64_t msOfDay = FloorMs(g_sim.nowNs) % CIVIL_MS_PER_DAY;
    const int draw = g_sim.readFailPercent + g_sim.tornReadPercent ? StandinDrawPercent(&g_sim.faults) : 100;
    Spend(g_sim.costs.readNs);
    if (draw < g_sim.readFailPercent)
        return 0;
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

// The simulated computer keeps local time as UTC.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local)
{
    *local = *utc;
    return TRUE;
}

BOOL WINAPI GetSystemTimeAdjustment(PDWORD adjustment, PDWORD increment, PBOOL disabled)
{
    *adjustment = g_sim.adjustment;
    *increment = SIM_TIME_INCREMENT;
    *disabled = g_sim.adjustmentDisabled;
    return TRUE;
}

BOOL WINAPI SetSystemTimeAdjustment(DWORD adjustment, BOOL disabled)
{
    Restart();
    g_sim.adjustment = disabled ? SIM_TIME_INCREMENT : adjustment;
    g_sim.adjustmentDisabled = disabled;
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

// Only the legacy adjustment calls, as on Windows before 10.
HMODULE WINAPI GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(1); }
FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR) { return NULL; }

DWORD WINAPI GetLastError(void) { return g_sim.lastError; }

BOOL WINAPI MessageBeep(UINT) { return TRUE; }

void WINAPI GetLocalTime(LPSYSTEMTIME time) { *time = ReadComputerClock(); }

void WINAPI GetSystemTime(LPSYSTEMTIME time) { *time = ReadComputerClock(); }

BOOL WINAPI SetLocalTime(const SYSTEMTIME *time) { return SetComputerClock(time); }

BOOL WINAPI SetSystemTime(const SYSTEMTIME *time) { return SetComputerClock(time); }

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
