// The computer clock's rate.
#include "engine/clock_rate.h"

#include "engine/clock_servo.h"
#include "engine/clock_setting.h"

ClockRateState g_clockRate;

namespace {

// Looked up by name: a pointer to a call of another type goes through the one function type
// every other may be cast from and back.
template <typename Call>
Call FindCall(HMODULE module, const char *name)
{
    return reinterpret_cast<Call>(reinterpret_cast<void (*)(void)>(GetProcAddress(module, name)));
}

struct Adjustment {
    ULONGLONG adjustment;
    ULONGLONG increment;
    BOOL disabled;
};

int ReadAdjustment(Adjustment *read)
{
    if (g_clockRate.getPrecise)
        return g_clockRate.getPrecise(&read->adjustment, &read->increment, &read->disabled);
    DWORD adjustment = 0;
    DWORD increment = 0;
    const BOOL done = GetSystemTimeAdjustment(&adjustment, &increment, &read->disabled);
    read->adjustment = adjustment;
    read->increment = increment;
    return done;
}

BOOL WriteAdjustment(ULONGLONG adjustment, BOOL disabled)
{
    if (g_clockRate.setPrecise)
        return g_clockRate.setPrecise(adjustment, disabled);
    return SetSystemTimeAdjustment(static_cast<DWORD>(adjustment), disabled);
}

// The privilege is enabled for the change only; a change it does not allow is not made.
void ChangeAdjustment(TimeCheckInputs *inputs, ULONGLONG adjustment, BOOL disabled)
{
    EnableClockPrivilege(inputs);
    if (GetLastError() == ERROR_SUCCESS && WriteAdjustment(adjustment, disabled))
        g_clockRate.rateSet = !disabled;
    DisableAllPrivileges(inputs);
}

// The precise calls, both from one library or neither. They are documented in an API set
// that kernelbase.dll serves, and kernel32.dll may not forward them: both are looked in.
void FindPreciseCalls(void)
{
    static const char *const kLibraries[] = {"kernel32.dll", "kernelbase.dll"};
    for (const char *library : kLibraries) {
        const HMODULE module = GetModuleHandleA(library);
        if (!module)
            continue;
        g_clockRate.setPrecise = FindCall<SetPreciseAdjustmentCall>(module, "SetSystemTimeAdjustmentPrecise");
        g_clockRate.getPrecise = FindCall<GetPreciseAdjustmentCall>(module, "GetSystemTimeAdjustmentPrecise");
        if (g_clockRate.setPrecise && g_clockRate.getPrecise)
            return;
    }
    g_clockRate.setPrecise = NULL;
    g_clockRate.getPrecise = NULL;
}

}  // namespace

const char *RateCallWord(RateCall call)
{
    static const char *const kWords[] = {"unmeasured", "precise", "legacy", "none"};
    return kWords[call];
}

void StartClockRate(TimeCheckInputs *inputs)
{
    g_clockRate = ClockRateState{};
    FindPreciseCalls();
    Adjustment read;
    if (!ReadAdjustment(&read))
        return;
    g_clockRate.increment = read.increment;
    // A rate in force now (left by a run of this program that ended without handing it back,
    // or set by another time service) would be measured as the clock's own: the system takes
    // the clock back first. The system drops such a rate only at a restart.
    if (!read.disabled)
        ChangeAdjustment(inputs, 0, TRUE);
}

int ReadClockRate(double *ratePpm, int *isOwn)
{
    Adjustment read;
    if (!ReadAdjustment(&read))
        return 0;
    *ratePpm = read.disabled ? 0 : RateForAdjustment(read.adjustment, read.increment);
    *isOwn = !read.disabled && read.adjustment == g_clockRate.adjustment;
    return 1;
}

int SetClockRate(TimeCheckInputs *inputs, double wantedPpm, double *ratePpm)
{
    *ratePpm = 0;
    // Without an increment an adjustment of 0 would stop the clock.
    if (g_clockRate.increment == 0)
        return 0;
    const ULONGLONG adjustment = AdjustmentForRate(g_clockRate.increment, wantedPpm);
    // The same adjustment again is only read back: the system keeps it.
    if (!g_clockRate.rateSet || adjustment != g_clockRate.adjustment) {
        g_clockRate.adjustment = adjustment;
        ChangeAdjustment(inputs, adjustment, FALSE);
    }
    int isOwn = 0;
    return ReadClockRate(ratePpm, &isOwn) && isOwn;
}

void HandBackClockRate(TimeCheckInputs *inputs)
{
    if (g_clockRate.rateSet)
        ChangeAdjustment(inputs, 0, TRUE);
}
