// The computer clock's rate.
#include "engine/clock_rate.h"

#include "engine/clock_servo.h"
#include "engine/clock_setting.h"
#include "engine/rate_mark.h"

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

int ReadAdjustment(RateCall call, Adjustment *read)
{
    if (call == RATE_CALL_PRECISE)
        return g_clockRate.getPrecise && g_clockRate.getPrecise(&read->adjustment, &read->increment, &read->disabled);
    DWORD adjustment = 0;
    DWORD increment = 0;
    const BOOL done = GetSystemTimeAdjustment(&adjustment, &increment, &read->disabled);
    read->adjustment = adjustment;
    read->increment = increment;
    return done;
}

BOOL WriteAdjustment(RateCall call, ULONGLONG adjustment, BOOL disabled)
{
    if (call == RATE_CALL_PRECISE)
        return g_clockRate.setPrecise(adjustment, disabled);
    return SetSystemTimeAdjustment(static_cast<DWORD>(adjustment), disabled);
}

ULONGLONG IncrementOf(RateCall call)
{
    return call == RATE_CALL_PRECISE ? g_clockRate.preciseIncrement : g_clockRate.legacyIncrement;
}

// The privilege is enabled for the change only; a change it does not allow is not made. A
// rate is marked as the program's own before it is set, so that no moment has it in force
// unmarked; a set that fails puts the mark of the rate still in force back.
void ChangeAdjustment(TimeCheckInputs *inputs, RateCall call, ULONGLONG adjustment, BOOL disabled,
                      ULONGLONG previous, RateCall previousCall)
{
    EnableClockPrivilege(inputs);
    if (GetLastError() == ERROR_SUCCESS) {
        if (!disabled)
            MarkOwnRate(call == RATE_CALL_PRECISE, adjustment);
        if (WriteAdjustment(call, adjustment, disabled)) {
            g_clockRate.rateSet = !disabled;
            if (disabled)
                ClearOwnRateMark();
        } else if (!disabled && g_clockRate.rateSet) {
            MarkOwnRate(previousCall == RATE_CALL_PRECISE, previous);
        } else if (!disabled) {
            ClearOwnRateMark();
        }
    }
    DisableAllPrivileges(inputs);
}

// Sets an adjustment of the program's own, unless it is in force already (the system keeps
// it). Returns 1 when reading back shows it in force; *read is what was read.
int SetOwnAdjustment(TimeCheckInputs *inputs, RateCall call, ULONGLONG adjustment, Adjustment *read)
{
    // Another's rate in force is never overwritten: it is read first, with the call that set
    // the program's own, if any.
    const RateCall readWith = g_clockRate.rateSet ? g_clockRate.setWith : call;
    if (ReadAdjustment(readWith, read) && !read->disabled &&
        !(g_clockRate.rateSet && read->adjustment == g_clockRate.adjustment))
        return 0;
    if (!g_clockRate.rateSet || adjustment != g_clockRate.adjustment || call != g_clockRate.setWith) {
        const ULONGLONG previous = g_clockRate.adjustment;
        const RateCall previousCall = g_clockRate.setWith;
        g_clockRate.adjustment = adjustment;
        g_clockRate.setWith = call;
        ChangeAdjustment(inputs, call, adjustment, FALSE, previous, previousCall);
    }
    return ReadAdjustment(call, read) && !read->disabled && read->adjustment == adjustment;
}

}  // namespace

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

namespace {

// Each call's increment, fixed by the system at boot. A call whose adjustment cannot be read
// keeps an increment of 0 and is never used: an adjustment of 0 would stop the clock.
void ReadIncrements(void)
{
    Adjustment read;
    if (g_clockRate.getPrecise && ReadAdjustment(RATE_CALL_PRECISE, &read))
        g_clockRate.preciseIncrement = read.increment;
    if (ReadAdjustment(RATE_CALL_LEGACY, &read))
        g_clockRate.legacyIncrement = read.increment;
}

// A rate in force whose value and call match the mark of the program's own was left by a run
// that ended without handing it back: it is handed back. The mark of a rate no longer in
// force goes.
RateFound LookAtRateInForce(TimeCheckInputs *inputs)
{
    int markedPrecise = 0;
    ULONGLONG marked = 0;
    const int isMarked = ReadOwnRateMark(&markedPrecise, &marked);
    const RateCall call = isMarked && markedPrecise && g_clockRate.getPrecise ? RATE_CALL_PRECISE : RATE_CALL_LEGACY;
    Adjustment read;
    if (!ReadAdjustment(call, &read))
        return RATE_FOUND_UNREADABLE;
    if (read.disabled) {
        if (isMarked)
            ClearOwnRateMark();
        return RATE_FOUND_NONE;
    }
    if (!isMarked || read.adjustment != marked)
        return RATE_FOUND_FOREIGN;
    ChangeAdjustment(inputs, call, 0, TRUE, 0, call);
    return RATE_FOUND_OWN;
}

}  // namespace

const char *RateCallWord(RateCall call)
{
    static const char *const kWords[] = {"unmeasured", "precise", "legacy", "none"};
    return kWords[call];
}

RateFound StartClockRate(TimeCheckInputs *inputs)
{
    g_clockRate = ClockRateState{};
    FindPreciseCalls();
    ReadIncrements();
    if (g_clockRate.legacyIncrement == 0 && g_clockRate.preciseIncrement == 0)
        return RATE_FOUND_UNREADABLE;
    return LookAtRateInForce(inputs);
}

int SetTrialRate(TimeCheckInputs *inputs, RateCall call, double nominalPpm, double *promisedPpm)
{
    const ULONGLONG increment = IncrementOf(call);
    *promisedPpm = nominalPpm;
    if (increment == 0 || (call == RATE_CALL_PRECISE && !g_clockRate.setPrecise))
        return 0;
    const ULONGLONG adjustment = AdjustmentForRate(increment, nominalPpm);
    *promisedPpm = RateForAdjustment(adjustment, increment);
    Adjustment read = {0, 0, TRUE};
    return SetOwnAdjustment(inputs, call, adjustment, &read);
}

void UseRateCall(RateCall call, double scale)
{
    g_clockRate.call = call;
    g_clockRate.scale = scale;
}

int ReadClockRate(double *ratePpm, int *isOwn)
{
    const RateCall call = g_clockRate.call == RATE_CALL_PRECISE ? RATE_CALL_PRECISE : RATE_CALL_LEGACY;
    const double scale = g_clockRate.call == RATE_CALL_PRECISE || g_clockRate.call == RATE_CALL_LEGACY ? g_clockRate.scale : 1;
    Adjustment read;
    if (!ReadAdjustment(call, &read))
        return 0;
    *ratePpm = read.disabled ? 0 : RateForAdjustment(read.adjustment, read.increment) * scale;
    *isOwn = !read.disabled && g_clockRate.rateSet && g_clockRate.setWith == call && read.adjustment == g_clockRate.adjustment;
    return 1;
}

int OthersRateInForce(void)
{
    const RateCall call = g_clockRate.rateSet ? g_clockRate.setWith
                          : g_clockRate.call == RATE_CALL_PRECISE ? RATE_CALL_PRECISE : RATE_CALL_LEGACY;
    Adjustment read;
    return ReadAdjustment(call, &read) && !read.disabled &&
           !(g_clockRate.rateSet && read.adjustment == g_clockRate.adjustment);
}

int SetClockRate(TimeCheckInputs *inputs, double wantedPpm, double *ratePpm, int *foreign)
{
    *ratePpm = 0;
    *foreign = 0;
    const RateCall call = g_clockRate.call;
    if ((call != RATE_CALL_PRECISE && call != RATE_CALL_LEGACY) || g_clockRate.scale == 0 || IncrementOf(call) == 0)
        return 0;
    Adjustment read = {0, 0, TRUE};
    const int inForce = SetOwnAdjustment(inputs, call, AdjustmentForRate(IncrementOf(call), wantedPpm / g_clockRate.scale), &read);
    if (!inForce && !read.disabled && read.increment != 0)
        *foreign = 1;
    if (!read.disabled && read.increment != 0)
        *ratePpm = RateForAdjustment(read.adjustment, read.increment) * g_clockRate.scale;
    return inForce;
}

void HandBackClockRate(TimeCheckInputs *inputs)
{
    if (!g_clockRate.rateSet)
        return;
    Adjustment read;
    if (ReadAdjustment(g_clockRate.setWith, &read) && (read.disabled || read.adjustment != g_clockRate.adjustment)) {
        // Another's rate replaced the program's: it stays, and so does nothing of the program's.
        g_clockRate.rateSet = 0;
        ClearOwnRateMark();
        return;
    }
    ChangeAdjustment(inputs, g_clockRate.setWith, 0, TRUE, 0, g_clockRate.setWith);
}
