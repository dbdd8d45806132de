// The clock simulation's platform: a virtual board and computer clock.
#include "sim_platform.h"

#include "civil_time.h"
#include "reader/nttc_reader.h"
#include "reader/standin/standin_words.h"

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
    g_sim.computerAtSetNs = (CivilMsFrom1601(*time) - EpochMsFrom1601()) * SIM_NS_PER_MS;
    g_sim.setAtNs = g_sim.nowNs;
    g_sim.offsetAfterSetNs = SimOffsetNs();
    g_sim.lastSetNs = g_sim.nowNs;
    ++g_sim.clockSets;
    Spend(g_sim.costs.clockSetNs);
    return TRUE;
}

}  // namespace

std::int64_t SimComputerNs(void)
{
    const std::int64_t elapsedNs = g_sim.nowNs - g_sim.setAtNs;
    const __int128 driftNs = static_cast<__int128>(elapsedNs) * g_sim.driftPpb / 1000000000;
    return g_sim.computerAtSetNs + elapsedNs + static_cast<std::int64_t>(driftNs);
}

std::int64_t SimOffsetNs(void) { return SimComputerNs() - g_sim.nowNs; }

extern "C" int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *)
{
    g_sim.lastReadNs = g_sim.nowNs;
    const std::int64_t msOfDay = FloorMs(g_sim.nowNs) % CIVIL_MS_PER_DAY;
    *timeCodeWord = StandinTimeWord(msOfDay, g_sim.frameRate);
    Spend(g_sim.costs.readNs);
    return 1;
}

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
