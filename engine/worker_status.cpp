// What the running worker tells of itself.
#include "engine/worker_status.h"

#include <cmath>

#include "base/file_time.h"
#include "engine/clock_rate.h"
#include "engine/clock_worker.h"
#include "engine/precise_clock.h"
#include "engine/settings_word.h"
#include "engine/time_check.h"

namespace {

// A time the check read or set, in the time base, as UTC: a local time less the offset from
// UTC in force now (a change of daylight saving within the last 5 s may leave it an hour off).
ULONGLONG UtcOf(const SYSTEMTIME &time, ULONGLONG utcNow)
{
    FILETIME fileTime;
    if (time.wYear == 0 || !SystemTimeToFileTime(&time, &fileTime))
        return 0;
    if (g_timeCheck.inputs.useUtc)
        return FileTimeValue(fileTime);
    const FILETIME utc = ToFileTime(utcNow);
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local))
        return FileTimeValue(fileTime);
    return FileTimeValue(fileTime) - (FileTimeValue(local) - utcNow);
}

}  // namespace

ULONGLONG UtcNow(void)
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return FileTimeValue(now);
}

void TakeWorkerStatus(ULONGLONG startedAt, ULONGLONG startedTickMs, WorkerStatus *status)
{
    *status = WorkerStatus{};
    status->takenAt = UtcNow();
    status->takenTickMs = GetTickCount64();
    status->startedAt = startedAt;
    status->startedTickMs = startedTickMs;
    status->familyCode = g_worker.startFamilyCode;
    status->boardAddress = g_worker.startBoardAddress;
    status->precise = g_settings.precise;
    if (!g_settings.precise) {
        status->comparisons = g_timeCheck.comparisons;
        status->outOfStep = g_timeCheck.outOfStep;
        status->corrections = g_timeCheck.corrections;
        status->lastComparisonAt = UtcOf(g_timeCheck.lastComparison, status->takenAt);
        status->lastOffsetMs = g_timeCheck.lastOffsetMs;
        status->lastCorrectionAt = UtcOf(g_timeCheck.lastCorrection, status->takenAt);
        status->lastComparisonTickMs = g_timeCheck.lastComparisonTickMs;
        status->lastCorrectionTickMs = g_timeCheck.lastCorrectionTickMs;
        return;
    }
    const PreciseClockState &p = g_preciseClock;
    status->comparisons = p.comparisons;
    status->outOfStep = p.outOfStep;
    status->corrections = p.steps;
    status->lastComparisonAt = static_cast<ULONGLONG>(p.lastComparisonAt);
    status->lastOffsetMs = static_cast<LONG>(std::lround(p.offsetMs));
    status->lastCorrectionAt = static_cast<ULONGLONG>(p.lastStepAt);
    status->lastComparisonTickMs = p.lastComparisonTickMs;
    status->lastCorrectionTickMs = p.lastStepTickMs;
    status->offsetMs = p.offsetMs;
    status->halfWidthMs = p.halfWidthMs;
    status->ratePpm = p.ratePpm;
    status->state = PreciseStateWord(p.state);
    status->rateCall = RateCallWord(g_clockRate.call);
    status->rateScale = g_clockRate.scale;
}
