// The time-code check and the clock correction.
#include "engine/time_check.h"

#include "base/console_output.h"
#include "engine/clock_setting.h"
#include "reader/nttc_reader.h"

TimeCheckState g_timeCheck;

namespace {

const LONG kMsPerDay = 86400000;
const LONG kMsPerHalfDay = kMsPerDay / 2;
const ULONGLONG kFileTimeUnitsPerDay = 864000000000ULL;  // 100 ns units
// The last year a SYSTEMTIME may hold: a FILETIME of the day after 30827-12-31 still
// converts, to a date that no clock can be set to.
const WORD kLastClockYear = 30827;

// The board's time code names the second; it is taken as 50 ms past it when comparing
// and as 80 ms past it when setting, for the time the set itself takes.
const LONG kBoardCompareOffsetMs = 50;
const WORD kBoardSetOffsetMs = 80;

const BYTE kArmingBit = 0x10;
const DWORD kMinuteSecondMask = 0xFFFF00;
const DWORD kMinuteSecond5959 = 0x5959;
const DWORD kMinuteSecond0000 = 0x0000;

struct BoardTime {
    int hours;
    int minutes;
    int seconds;
};

// Packed BCD, decoded arithmetically: a nibble above 9 is not rejected (0x2A is 30).
int DecodeBcd(BYTE packed) { return (packed >> 4) * 10 + (packed & 0x0F); }

BoardTime DecodeBoardTime(DWORD word)
{
    BoardTime time;
    time.hours = DecodeBcd(static_cast<BYTE>(word >> 24));
    time.minutes = DecodeBcd(static_cast<BYTE>(word >> 16));
    time.seconds = DecodeBcd(static_cast<BYTE>(word >> 8));
    return time;
}

int IsTimeOfDay(const BoardTime &time) { return time.hours < 24 && time.minutes < 60 && time.seconds < 60; }

LONG MsOfDay(int hours, int minutes, int seconds, int milliseconds)
{
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
}

// Reads the word twice, and a third time when the two reads differ, so that a word torn
// by the board's update is replaced. The last read's word and result stand.
int ReadTimeCodeWord(void)
{
    // A failed read may leave the word as it was, so the first read goes into the kept
    // word too: what is compared is always a value that was read at some time.
    NttcReadTime(&g_timeCheck.timeCodeWord, &g_timeCheck.inputs.boardAddress);
    const DWORD first = g_timeCheck.timeCodeWord;
    int read = NttcReadTime(&g_timeCheck.timeCodeWord, &g_timeCheck.inputs.boardAddress);
    if (g_timeCheck.timeCodeWord != first)
        read = NttcReadTime(&g_timeCheck.timeCodeWord, &g_timeCheck.inputs.boardAddress);
    return read;
}

// Returns 1 when this word is the moment to compare: the first word with a zero
// frame/status byte after an arming word, outside 59:59 and 00:00.
int ArmOrFire(DWORD word)
{
    const BYTE frameStatus = static_cast<BYTE>(word & 0xFF);
    if (!g_timeCheck.armed) {
        if (frameStatus & kArmingBit)
            g_timeCheck.armed = 1;
        return 0;
    }
    if (frameStatus != 0)
        return 0;
    g_timeCheck.armed = 0;
    const DWORD minuteSecond = (word & kMinuteSecondMask) >> 8;
    return minuteSecond != kMinuteSecond5959 && minuteSecond != kMinuteSecond0000;
}

void ReadComputerClock(SYSTEMTIME *now)
{
    if (g_timeCheck.inputs.useUtc)
        GetSystemTime(now);
    else
        GetLocalTime(now);
}

// The computer's offset from the board in ms (positive: the computer is ahead), and the
// days from the computer's date to the board's. Near midnight the two times of day lie on
// different dates: the offset is taken the short way round, into (-12 h, +12 h], and the
// board's date is the day before or after. A word that names no time of day is compared
// as it stands; it is out of step and fails to set.
LONG OffsetFromBoardMs(const BoardTime &board, const SYSTEMTIME &now, int *boardDayShift)
{
    const LONG boardMs = MsOfDay(board.hours, board.minutes, board.seconds, kBoardCompareOffsetMs);
    const LONG computerMs = MsOfDay(now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const LONG offsetMs = computerMs - boardMs;
    *boardDayShift = 0;
    if (!IsTimeOfDay(board))
        return offsetMs;
    if (offsetMs > kMsPerHalfDay) {
        *boardDayShift = 1;
        return offsetMs - kMsPerDay;
    }
    if (offsetMs <= -kMsPerHalfDay) {
        *boardDayShift = -1;
        return offsetMs + kMsPerDay;
    }
    return offsetMs;
}

// Moves the date of *time by whole days, through FILETIME so that month, year and leap
// day boundaries come out right. The time of day is left as it is. Returns 0, with *time
// as it was, when the date would leave the clock's range, 1601-01-01 to 30827-12-31.
int ShiftDate(SYSTEMTIME *time, int days)
{
    FILETIME fileTime;
    if (!SystemTimeToFileTime(time, &fileTime))
        return 0;
    ULARGE_INTEGER units;
    units.LowPart = fileTime.dwLowDateTime;
    units.HighPart = fileTime.dwHighDateTime;
    units.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(days)) * kFileTimeUnitsPerDay;
    fileTime.dwLowDateTime = units.LowPart;
    fileTime.dwHighDateTime = units.HighPart;
    SYSTEMTIME shifted;
    if (!FileTimeToSystemTime(&fileTime, &shifted) || shifted.wYear > kLastClockYear)
        return 0;
    time->wYear = shifted.wYear;
    time->wMonth = shifted.wMonth;
    time->wDayOfWeek = shifted.wDayOfWeek;
    time->wDay = shifted.wDay;
    return 1;
}

void TellCorrected(const SYSTEMTIME &before, const SYSTEMTIME &set, LONG offsetMs)
{
    if (g_timeCheck.inputs.corrected == NULL)
        return;
    const ClockCorrection correction = {before, set, offsetMs, g_timeCheck.inputs.useUtc};
    g_timeCheck.inputs.corrected(&correction);
}

// Sets the clock to the board's time of day, 80 ms past the second, on the board's date.
// The clock privilege is enabled just for the change. A correction is rare: kept out of
// line, its frame and copies cost the ticks that do not correct nothing (the tick benchmark
// shows it).
__attribute__((noinline)) int CorrectClock(SYSTEMTIME *now, const BoardTime &board, int boardDayShift, LONG offsetMs)
{
    const SYSTEMTIME before = *now;
    if (boardDayShift != 0 && !ShiftDate(now, boardDayShift))
        return 0;
    now->wHour = static_cast<WORD>(board.hours);
    now->wMinute = static_cast<WORD>(board.minutes);
    now->wSecond = static_cast<WORD>(board.seconds);
    now->wMilliseconds = kBoardSetOffsetMs;

    TimeCheckInputs *inputs = &g_timeCheck.inputs;
    EnableClockPrivilege(inputs);
    if (GetLastError() != ERROR_SUCCESS)
        return 0;
    int moved = 0;
    const BOOL set = SetComputerClock(inputs, now, &moved);
    if (moved)
        ConsoleTrace(" Time Changed %u \n", static_cast<unsigned>(g_timeCheck.lastComputerSeconds));
    DisableAllPrivileges(inputs);
    const DWORD disableError = GetLastError();
    // A change that happened is on record, whatever came after it: a failed second local set
    // or a failed disabling still make a failed correction.
    if (moved) {
        ++g_timeCheck.corrections;
        g_timeCheck.lastCorrection = *now;
        g_timeCheck.lastCorrectionTickMs = GetTickCount64();
        TellCorrected(before, *now, offsetMs);
    }
    if (!set || disableError != ERROR_SUCCESS)
        return 0;
    g_timeCheck.inStep = 1;
    return 1;
}

}  // namespace

void StartTimeCheck(const TimeCheckInputs *inputs) { g_timeCheck.inputs = *inputs; }

int CheckTime(void)
{
    static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "the privilege record is passed as 16 bytes");

    if (!ReadTimeCodeWord())
        return 0;
    if (!ArmOrFire(g_timeCheck.timeCodeWord))
        return 0;

    SYSTEMTIME now;
    ReadComputerClock(&now);
    ConsoleBeep();
    g_timeCheck.lastComputerSeconds = now.wSecond;

    const BoardTime board = DecodeBoardTime(g_timeCheck.timeCodeWord);
    int boardDayShift;
    const LONG offsetMs = OffsetFromBoardMs(board, now, &boardDayShift);
    ++g_timeCheck.comparisons;
    g_timeCheck.lastComparison = now;
    g_timeCheck.lastComparisonTickMs = GetTickCount64();
    g_timeCheck.lastOffsetMs = offsetMs;
    const LONG slopMs = g_timeCheck.inputs.slopMs;
    if (offsetMs <= slopMs && -offsetMs <= slopMs) {
        g_timeCheck.inStep = 1;
        return 1;
    }
    ++g_timeCheck.outOfStep;
    // One out-of-step comparison after an in-step one or a correction is forgiven.
    if (g_timeCheck.inStep) {
        g_timeCheck.inStep = 0;
        return 0;
    }
    return CorrectClock(&now, board, boardDayShift, offsetMs);
}
