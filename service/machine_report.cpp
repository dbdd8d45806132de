// What -measure says about this machine.
#include "service/machine_report.h"

#include "base/console_output.h"
#include "engine/clock_rate.h"
#include "engine/measuring_run.h"

namespace {

// RtlGetVersion answers STATUS_SUCCESS, 0, when it filled the record.
typedef LONG(WINAPI *GetVersionCall)(PRTL_OSVERSIONINFOEXW version);

const char *ProductType(BYTE type)
{
    switch (type) {
    case VER_NT_WORKSTATION:
        return "workstation";
    case VER_NT_DOMAIN_CONTROLLER:
        return "domain controller";
    case VER_NT_SERVER:
        return "server";
    default:
        return "product type unknown";
    }
}

const char *AdjustmentState(BOOL disabled) { return disabled ? "disabled" : "in force"; }

}  // namespace

void PrintWindowsLine(void)
{
    // A 32-bit program on 64-bit Windows runs under WOW64; a 64-bit program needs 64-bit Windows.
    const int programBits = static_cast<int>(sizeof(void *) * 8);
    BOOL wow64 = FALSE;
    if (!IsWow64Process(GetCurrentProcess(), &wow64))
        wow64 = FALSE;
    const int windowsBits = programBits == 64 || wow64 ? 64 : 32;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    // Looked up by name, through the one function type every other may be cast from and back.
    const GetVersionCall getVersion =
        ntdll ? reinterpret_cast<GetVersionCall>(reinterpret_cast<void (*)(void)>(GetProcAddress(ntdll, "RtlGetVersion")))
              : NULL;
    if (getVersion && getVersion(&version) == 0)
        ConsolePrint("Windows: %lu.%lu build %lu, %s, %d-bit (as RtlGetVersion reports it); this program is %d-bit\n",
                     static_cast<unsigned long>(version.dwMajorVersion), static_cast<unsigned long>(version.dwMinorVersion),
                     static_cast<unsigned long>(version.dwBuildNumber), ProductType(version.wProductType), windowsBits,
                     programBits);
    else
        ConsolePrint("Windows: version unknown (RtlGetVersion did not answer), %d-bit; this program is %d-bit\n",
                     windowsBits, programBits);
}

void PrintCounterLine(void)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ConsolePrint("Performance counter: %lld Hz\n", static_cast<long long>(frequency.QuadPart));
}

void PrintTimerLine(void)
{
    const MeasuringRunState &m = g_measuringRun;
    ConsolePrint("System timer: %u ms asked for and %s; ", kPollTimerPeriodMs, m.timerGranted ? "granted" : "refused");
    if (m.waitsTimed == 0)
        ConsolePrint("no wait was timed\n");
    else
        ConsolePrint("%d waits of %lu ms lasted %.2f ms on average, %.2f ms at most\n", m.waitsTimed,
                     static_cast<unsigned long>(kPollIntervalMs), m.waitMeanMs, m.waitLongestMs);
}

void PrintClockAdjustmentLine(void)
{
    DWORD adjustment = 0;
    DWORD increment = 0;
    BOOL disabled = TRUE;
    ConsolePrint("Clock adjustment: ");
    if (GetSystemTimeAdjustment(&adjustment, &increment, &disabled))
        ConsolePrint("GetSystemTimeAdjustment adjustment %lu, increment %lu, %s; ", static_cast<unsigned long>(adjustment),
                     static_cast<unsigned long>(increment), AdjustmentState(disabled));
    else
        ConsolePrint("GetSystemTimeAdjustment failed (error %lu); ", static_cast<unsigned long>(GetLastError()));
    FindPreciseCalls();
    DWORD64 preciseAdjustment = 0;
    DWORD64 preciseIncrement = 0;
    if (!g_clockRate.getPrecise)
        ConsolePrint("GetSystemTimeAdjustmentPrecise not present\n");
    else if (g_clockRate.getPrecise(&preciseAdjustment, &preciseIncrement, &disabled))
        ConsolePrint("GetSystemTimeAdjustmentPrecise adjustment %llu, increment %llu, %s\n",
                     static_cast<unsigned long long>(preciseAdjustment), static_cast<unsigned long long>(preciseIncrement),
                     AdjustmentState(disabled));
    else
        ConsolePrint("GetSystemTimeAdjustmentPrecise failed (error %lu)\n", static_cast<unsigned long>(GetLastError()));
}
