// Fuzz target: the time-code check, tick after tick, against a computer clock that moves.
//
// One input is one run of the polling loop. It starts with the settings and the clock:
//   byte      bit 0 UTC, bit 1 console mode, bits 2-3 where the clock starts (0 anywhere from
//             1601-01-01 to 30827-12-31, 1 on the first two days, 2 on the last two days,
//             3 within 68 years of 2026-03-01)
//   byte      slop: 50 + byte % 206 (50 to 255 ms, the range a loaded word gives)
//   8 bytes   the clock's start, read as the era says
//   2 bytes   the other clock's offset in minutes, 14 h either way (local time - UTC)
// then, until the input ends (at most kMostTicks ticks), one tick each:
//   byte      bit 0, 1, 2: the first, second, third read fails; bit 3: the second read
//             gives another word (a word torn by the board's update), so a third read
//             follows unless the two happen to be equal; bit 4: setting the clock fails;
//             bit 5: the clock privilege is not held; bits 6-7: how the clock moves first
//             (0 not at all, 1 up to 255 ms, 2 up to 65535 ms, 3 up to 2^32 - 1 ms)
//   0-4 bytes the clock's advance
//   words     the first read's word, then the second's and third's when they differ; each a
//             kind byte (bits 0-1: frame/status byte 0, 0x10, 0x10 with a byte's bits, a
//             byte; bit 2: hours, minutes and seconds as three raw bytes, else the computer's
//             time of day moved by a 16-bit offset times 1, 16, 1000 or 2637 ms by bits 3-4)
//             and its operands.
//
// A model written from the check's rules, with its own armed and in-step flags, predicts
// each tick's result and its platform calls in order: the reads, the clock read, the beep,
// the privilege enabled, the clock set with its value, every privilege disabled. The tick
// stops the run at the first difference from the fake's record. Besides the model, every
// tick checks that the result is 0 or 1, the clock privilege is not left enabled, the
// clock is read and set at most once, a set made while the board names a time of day asks
// for a valid date and time (parsed back from the recorded call), a set that took effect
// left a valid clock, and no clock changed except by a set that took effect.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/console_output.h"
#include "engine/time_check.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fuzz_support.h"
#include "test_support.h"
#include "time_check_setup.h"

namespace {

const int kMostTicks = 2000;
const char kReadCall[] = "NttcReadTime 0x300";
const char kEnableCall[] = "AdjustTokenPrivileges 0x70 enable count=1 luid=22:0 attributes=2 16 (nil) (nil)";
const char kDisableCall[] = "AdjustTokenPrivileges 0x70 disable-all (nil) 0 (nil) (nil)";

const std::int64_t kMsPerDay = 86400000;
const std::int64_t kMsPerHalfDay = kMsPerDay / 2;
const std::int64_t kFileTimeUnitsPerMs = 10000;

// ---- the clock, in ms since 1601-01-01 00:00:00.000, through the platform's FILETIME ----

std::int64_t MsFromTime(const SYSTEMTIME &time)
{
    FILETIME fileTime;
    FUZZ_CHECK(SystemTimeToFileTime(&time, &fileTime));
    ULARGE_INTEGER units;
    units.LowPart = fileTime.dwLowDateTime;
    units.HighPart = fileTime.dwHighDateTime;
    return static_cast<std::int64_t>(units.QuadPart / kFileTimeUnitsPerMs);
}

SYSTEMTIME TimeFromMs(std::int64_t ms)
{
    ULARGE_INTEGER units;
    units.QuadPart = static_cast<ULONGLONG>(ms) * kFileTimeUnitsPerMs;
    FILETIME fileTime{units.LowPart, units.HighPart};
    SYSTEMTIME time;
    FUZZ_CHECK(FileTimeToSystemTime(&fileTime, &time));
    return time;
}

// The last millisecond a SYSTEMTIME holds: 30827-12-31 23:59:59.999.
std::int64_t LastMs() { return MsFromTime(FakeTime(30827, 12, 31, 23, 59, 59, 999)); }

std::int64_t MsOfDay(const SYSTEMTIME &time)
{
    return ((time.wHour * 60 + time.wMinute) * 60 + time.wSecond) * 1000LL + time.wMilliseconds;
}

// The harness's own idea of a valid clock value, the fake's aside.
bool IsValidDateAndTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second, unsigned millisecond)
{
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const unsigned days = month == 2 && leap ? 29 : kDays[month - 1];
    return day <= days && hour < 24 && minute < 60 && second < 60 && millisecond < 1000;
}

bool IsValidClock(const SYSTEMTIME &t)
{
    if (!IsValidDateAndTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds))
        return false;
    // The day of the week belongs to the date.
    const SYSTEMTIME sameDay = TimeFromMs(MsFromTime(t));
    return sameDay.wDayOfWeek == t.wDayOfWeek;
}

bool SameTime(const SYSTEMTIME &a, const SYSTEMTIME &b)
{
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek && a.wDay == b.wDay &&
           a.wHour == b.wHour && a.wMinute == b.wMinute && a.wSecond == b.wSecond &&
           a.wMilliseconds == b.wMilliseconds;
}

std::int64_t ClampToClock(std::int64_t ms, std::int64_t lastMs) { return ms < 0 ? 0 : ms > lastMs ? lastMs : ms; }

// ---- time-code words ----

BYTE Bcd(int value) { return static_cast<BYTE>((value / 10) << 4 | value % 10); }

int DecodeBcd(DWORD byte) { return static_cast<int>((byte >> 4 & 0x0F) * 10 + (byte & 0x0F)); }

DWORD WordForTimeOfDay(std::int64_t msOfDay, BYTE frame)
{
    const int seconds = static_cast<int>(msOfDay / 1000);
    return static_cast<DWORD>(Bcd(seconds / 3600)) << 24 | static_cast<DWORD>(Bcd(seconds / 60 % 60)) << 16 |
           static_cast<DWORD>(Bcd(seconds % 60)) << 8 | frame;
}

DWORD ConsumeWord(FuzzInput &in, const SYSTEMTIME &now)
{
    static const std::int64_t kOffsetScalesMs[] = {1, 16, 1000, 2637};
    const std::uint8_t kind = in.Byte();
    BYTE frame = 0;
    switch (kind & 3) {
    case 0: frame = 0x00; break;
    case 1: frame = 0x10; break;
    case 2: frame = static_cast<BYTE>(0x10 | in.Byte()); break;
    default: frame = in.Byte(); break;
    }
    if (kind & 4)
        return static_cast<DWORD>(in.Unsigned(3)) << 8 | frame;
    const std::int64_t offsetMs =
        static_cast<std::int16_t>(in.Unsigned(2)) * kOffsetScalesMs[kind >> 3 & 3];
    const std::int64_t boardMs = ((MsOfDay(now) + offsetMs) % kMsPerDay + kMsPerDay) % kMsPerDay;
    return WordForTimeOfDay(boardMs, frame);
}

// ---- one tick as the harness plans it ----

struct Tick {
    FakeRead reads[3];
    int readCount;
    bool setFails;
    bool privilegeNotHeld;
};

struct Prediction {
    int result = 0;
    std::vector<std::string> calls;
    bool compared = false;
    bool boardNamesTimeOfDay = false;
    bool clockSet = false;  // a set that takes effect
    SYSTEMTIME setTo{};
};

// The check's rules, on their own state: a word with bit 0x10 in its frame/status byte arms,
// the next with a zero byte fires once, except at mm:ss 59:59 and 00:00. A comparison takes
// the board 50 ms past its second, the short way round midnight when the board names a time
// of day. In step within the slop; out of step is forgiven once after an in-step comparison
// or a correction, and otherwise corrected to the board's time 80 ms past the second on the
// board's date, with the privilege enabled just for the set. A date before 1601-01-01 or
// after 30827-12-31 cannot be set, and no correction is tried.
struct Model {
    bool armed = false;
    bool inStep = false;
    bool useUtc = false;
    bool console = false;
    std::int64_t slopMs = 150;
    std::int64_t lastMs = 0;
    DWORD keptWord = 0;  // the word the check holds: a failed read leaves it as it was

    Prediction Predict(const Tick &tick, const SYSTEMTIME &now)
    {
        Prediction p;
        for (int i = 0; i < tick.readCount; ++i)
            p.calls.push_back(kReadCall);
        const FakeRead &last = tick.reads[tick.readCount - 1];
        if (!last.result)
            return p;
        const DWORD word = last.word;
        const BYTE frame = static_cast<BYTE>(word);
        if (!armed) {
            armed = (frame & 0x10) != 0;
            return p;
        }
        if (frame != 0)
            return p;
        armed = false;
        const DWORD minuteSecond = word >> 8 & 0xFFFF;
        if (minuteSecond == 0x5959 || minuteSecond == 0x0000)
            return p;

        p.compared = true;
        p.calls.push_back(useUtc ? "GetSystemTime" : "GetLocalTime");
        if (console)
            p.calls.push_back("MessageBeep 0");
        const int hours = DecodeBcd(word >> 24), minutes = DecodeBcd(word >> 16 & 0xFF),
                  seconds = DecodeBcd(word >> 8 & 0xFF);
        p.boardNamesTimeOfDay = hours < 24 && minutes < 60 && seconds < 60;
        const std::int64_t boardMs = ((hours * 60 + minutes) * 60 + seconds) * 1000LL + 50;
        std::int64_t offsetMs = MsOfDay(now) - boardMs;
        int dayShift = 0;
        if (p.boardNamesTimeOfDay && offsetMs > kMsPerHalfDay) {
            offsetMs -= kMsPerDay;
            dayShift = 1;
        } else if (p.boardNamesTimeOfDay && offsetMs <= -kMsPerHalfDay) {
            offsetMs += kMsPerDay;
            dayShift = -1;
        }
        if (offsetMs <= slopMs && -offsetMs <= slopMs) {
            inStep = true;
            p.result = 1;
            return p;
        }
        if (inStep) {
            inStep = false;
            return p;
        }

        const std::int64_t dayMs = MsFromTime(now) - MsOfDay(now) + dayShift * kMsPerDay;
        if (dayMs < 0 || dayMs > lastMs)
            return p;
        SYSTEMTIME target = TimeFromMs(dayMs);
        target.wHour = static_cast<WORD>(hours);
        target.wMinute = static_cast<WORD>(minutes);
        target.wSecond = static_cast<WORD>(seconds);
        target.wMilliseconds = 80;
        p.calls.push_back(kEnableCall);
        if (tick.privilegeNotHeld)
            return p;
        const std::string set = std::string(useUtc ? "SetSystemTime " : "SetLocalTime ") + FakeFormatTime(target);
        p.calls.push_back(set);
        p.clockSet = !tick.setFails && IsValidClock(target);
        // A local set that worked is made once more, for daylight saving.
        if (p.clockSet && !useUtc)
            p.calls.push_back(set);
        p.calls.push_back(kDisableCall);
        p.setTo = target;
        if (p.clockSet) {
            inStep = true;
            p.result = 1;
        }
        return p;
    }
};

void PrintCalls(const char *title, const std::vector<std::string> &calls)
{
    std::fprintf(stderr, "%s:\n", title);
    for (const std::string &call : calls)
        std::fprintf(stderr, "  %s\n", call.c_str());
}

// The time a recorded "SetLocalTime YYYY-MM-DD hh:mm:ss.mmm" asked for, checked for validity.
bool RecordedSetIsValid(const std::string &call)
{
    unsigned year, month, day, hour, minute, second, millisecond;
    const std::size_t space = call.find(' ');
    FUZZ_CHECK(space != std::string::npos);
    FUZZ_CHECK(std::sscanf(call.c_str() + space + 1, "%u-%u-%u %u:%u:%u.%u", &year, &month, &day, &hour, &minute,
                           &second, &millisecond) == 7);
    return IsValidDateAndTime(year, month, day, hour, minute, second, millisecond);
}

void StartRun(FuzzInput &in, Model &model)
{
    ResetEverything();
    const std::uint8_t setup = in.Byte();
    model.useUtc = setup & 1;
    model.console = setup >> 1 & 1;
    model.slopMs = 50 + in.Byte() % 206;
    model.lastMs = LastMs();
    StartTestTimeCheck(static_cast<LONG>(model.slopMs), model.useUtc);
    g_console.consoleMode = model.console;

    std::int64_t startMs = 0;
    switch (setup >> 2 & 3) {
    case 0: startMs = static_cast<std::int64_t>(in.InRange(0, model.lastMs, 8)); break;
    case 1: startMs = static_cast<std::int64_t>(in.InRange(0, 2 * kMsPerDay, 8)); break;
    case 2: startMs = model.lastMs - static_cast<std::int64_t>(in.InRange(0, 2 * kMsPerDay, 8)); break;
    default:
        startMs = MsFromTime(FakeTime(2026, 3, 1, 0, 0, 0, 0)) + static_cast<std::int32_t>(in.Unsigned(4)) * 1000LL;
        in.Unsigned(4);
        break;
    }
    const std::int64_t zoneMs = static_cast<std::int64_t>(in.InRange(0, 28 * 60, 2)) * 60000 - 14 * 3600000LL;
    const SYSTEMTIME start = TimeFromMs(startMs);
    const SYSTEMTIME other = TimeFromMs(ClampToClock(startMs + (model.useUtc ? zoneMs : -zoneMs), model.lastMs));
    g_fake.localTime = model.useUtc ? other : start;
    g_fake.systemTime = model.useUtc ? start : other;
}

void AdvanceClocks(std::int64_t ms, std::int64_t lastMs)
{
    g_fake.localTime = TimeFromMs(ClampToClock(MsFromTime(g_fake.localTime) + ms, lastMs));
    g_fake.systemTime = TimeFromMs(ClampToClock(MsFromTime(g_fake.systemTime) + ms, lastMs));
}

// The word held after a read: the one read, or the one before when the read failed.
DWORD WordAfter(const FakeRead &read, DWORD before) { return read.result ? read.word : before; }

Tick ConsumeTick(FuzzInput &in, std::uint8_t flags, const SYSTEMTIME &now, DWORD *keptWord)
{
    Tick tick{};
    tick.reads[0] = FakeRead{!(flags & 1), ConsumeWord(in, now)};
    tick.reads[1] = FakeRead{!(flags & 2), (flags & 8) ? ConsumeWord(in, now) : tick.reads[0].word};
    tick.readCount = 2;
    const DWORD first = WordAfter(tick.reads[0], *keptWord);
    *keptWord = WordAfter(tick.reads[1], first);
    if (*keptWord != first) {
        tick.reads[2] = FakeRead{!(flags & 4), ConsumeWord(in, now)};
        tick.readCount = 3;
        *keptWord = WordAfter(tick.reads[2], *keptWord);
    }
    tick.setFails = flags & 16;
    tick.privilegeNotHeld = flags & 32;
    return tick;
}

void RunTick(FuzzInput &in, Model &model)
{
    const std::uint8_t flags = in.Byte();
    static const int kAdvanceBytes[] = {0, 1, 2, 4};
    AdvanceClocks(static_cast<std::int64_t>(in.Unsigned(kAdvanceBytes[flags >> 6])), model.lastMs);

    SYSTEMTIME &inUse = model.useUtc ? g_fake.systemTime : g_fake.localTime;
    SYSTEMTIME &notInUse = model.useUtc ? g_fake.localTime : g_fake.systemTime;
    const SYSTEMTIME before = inUse;
    const SYSTEMTIME otherBefore = notInUse;
    FUZZ_CHECK(IsValidClock(before));

    const Tick tick = ConsumeTick(in, flags, before, &model.keptWord);
    g_fakeReader.reads.assign(tick.reads, tick.reads + tick.readCount);
    g_fake.setLocalTimeError = tick.setFails ? ERROR_ACCESS_DENIED : 0;
    g_fake.setSystemTimeError = tick.setFails ? ERROR_ACCESS_DENIED : 0;
    g_fake.privilegeHeld = !tick.privilegeNotHeld;
    g_fake.calls.clear();

    const Prediction p = model.Predict(tick, before);
    const int result = CheckTime();

    // What holds whatever the rules say.
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(!g_fake.privilegeEnabled);
    FUZZ_CHECK(g_fakeReader.reads.empty());
    FUZZ_CHECK(FakeCallsNamed("GetLocalTime").size() + FakeCallsNamed("GetSystemTime").size() <= 1);
    const std::vector<std::string> sets = FakeCallsNamed(model.useUtc ? "SetSystemTime" : "SetLocalTime");
    FUZZ_CHECK(sets.size() <= (model.useUtc ? 1u : 2u));
    FUZZ_CHECK(FakeCallsNamed(model.useUtc ? "SetLocalTime" : "SetSystemTime").empty());
    if (!sets.empty() && p.boardNamesTimeOfDay)
        FUZZ_CHECK(RecordedSetIsValid(sets[0]));
    FUZZ_CHECK(SameTime(notInUse, otherBefore));
    if (!SameTime(inUse, before)) {
        FUZZ_CHECK(!sets.empty());
        FUZZ_CHECK(sets.back().substr(sets.back().find(' ') + 1) == FakeFormatTime(inUse));
        FUZZ_CHECK(IsValidClock(inUse));
    }

    // What the rules say, call by call.
    if (g_fake.calls != p.calls) {
        PrintCalls("expected calls", p.calls);
        PrintCalls("recorded calls", g_fake.calls);
    }
    FUZZ_CHECK(g_fake.calls == p.calls);
    FUZZ_CHECK(result == p.result);
    FUZZ_CHECK(SameTime(inUse, p.clockSet ? p.setTo : before));
    FUZZ_CHECK(g_timeCheck.armed == static_cast<int>(model.armed));
    FUZZ_CHECK(g_timeCheck.inStep == static_cast<int>(model.inStep));
    FUZZ_CHECK(g_timeCheck.timeCodeWord == model.keptWord);
    if (p.compared)
        FUZZ_CHECK(g_timeCheck.lastComputerSeconds == before.wSecond);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    Model model;
    StartRun(in, model);
    for (int ticks = 0; ticks < kMostTicks && !in.Empty(); ++ticks)
        RunTick(in, model);
    EndEverything();
    return 0;
}
