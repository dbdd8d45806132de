// The running service's state in the registry.
#include "service/status_publish.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "base/file_time.h"
#include "base/service_names.h"
#include "service/clock_set_log.h"
#include "service/error_text.h"
#include "service/event_log.h"
#include "service/event_messages.h"
#include "service/status_record.h"

StatusPublishState g_statusPublish;

namespace {

// The first error of a publication is the one kept.
struct Writer {
    HKEY key;
    LONG result;

    void Put(const char *name, DWORD type, const void *data, DWORD size)
    {
        const LONG put = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
        if (result == ERROR_SUCCESS)
            result = put;
    }
    void Text(const char *name, const char *text) { Put(name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)); }
    void Number(const char *name, DWORD number) { Put(name, REG_DWORD, &number, sizeof number); }
    void Figure(const char *name, const char *format, double value)
    {
        char text[32];
        std::snprintf(text, sizeof text, format, value);
        Text(name, text);
    }
    // A time as text, and as a FILETIME under the same name with "FileTime" after it.
    void Time(const char *name, ULONGLONG fileTime)
    {
        char text[UTC_TEXT_SIZE];
        FormatUtc(fileTime, text);
        Text(name, text);
        char fileTimeName[64];
        std::snprintf(fileTimeName, sizeof fileTimeName, "%sFileTime", name);
        Put(fileTimeName, REG_QWORD, &fileTime, sizeof fileTime);
    }
};

// The whole state as one record, from the same status as the values for people.
void WriteSnapshot(Writer *out, const WorkerStatus &status)
{
    StatusRecord r = {};
    r.precise = static_cast<DWORD>(status.precise);
    r.familyCode = status.familyCode;
    r.boardAddress = status.boardAddress;
    r.writtenAt = status.takenAt;
    r.writtenTickMs = status.takenTickMs;
    r.startedAt = status.startedAt;
    r.startedTickMs = status.startedTickMs;
    r.lastComparisonAt = status.lastComparisonAt;
    r.lastComparisonTickMs = status.lastComparisonTickMs;
    r.lastCorrectionAt = status.lastCorrectionAt;
    r.lastCorrectionTickMs = status.lastCorrectionTickMs;
    r.lastOffsetMs = status.lastOffsetMs;
    r.comparisons = status.comparisons;
    r.outOfStep = status.outOfStep;
    r.corrections = status.corrections;
    r.unrecorded = g_clockSetLog.unrecorded;
    if (status.precise) {
        r.offsetMs = status.offsetMs;
        r.halfWidthMs = status.halfWidthMs;
        r.ratePpm = status.ratePpm;
        r.rateScale = status.rateScale;
        std::snprintf(r.state, sizeof r.state, "%s", status.state);
        std::snprintf(r.rateCall, sizeof r.rateCall, "%s", status.rateCall);
    }
    BYTE bytes[STATUS_RECORD_BYTES];
    EncodeStatusRecord(r, bytes);
    out->Put(kSnapshotValueName, REG_BINARY, bytes, sizeof bytes);
}

void WriteValues(Writer *out, const WorkerStatus &status)
{
    out->Text("Mode", status.precise ? "precise" : "stepped");
    char board[BOARD_TEXT_SIZE];
    FormatBoard(status.familyCode, status.boardAddress, board);
    out->Text("Board", board);
    out->Number("BoardFamily", status.familyCode);
    out->Number("BoardAddress", status.boardAddress);
    out->Time("StartedAt", status.startedAt);
    out->Time("LastComparisonAt", status.lastComparisonAt);
    // Signed, so text: a DWORD reader would see 4294967284 for -12.
    out->Figure("LastOffsetMs", "%.0f", static_cast<double>(status.lastOffsetMs));
    out->Time("LastCorrectionAt", status.lastCorrectionAt);
    out->Number("Comparisons", status.comparisons);
    out->Number("OutOfStepComparisons", status.outOfStep);
    out->Number("Corrections", status.corrections);
    out->Number("UnrecordedCorrections", g_clockSetLog.unrecorded);
    if (status.precise) {
        out->Figure("OffsetMs", "%+.3f", status.offsetMs);
        out->Figure("HalfWidthMs", "%.3f", status.halfWidthMs);
        out->Figure("RatePpm", "%+.2f", status.ratePpm);
        out->Text("State", status.state);
        out->Text("RateCall", status.rateCall);
        out->Figure("RateScale", "%+.3f", status.rateScale);
    }
    out->Time("WrittenAt", status.takenAt);
}

// The precise mode's values, which a run of the other mode does not write.
const char *const kPreciseOnlyValues[] = {"OffsetMs", "HalfWidthMs", "RatePpm", "State", "RateCall", "RateScale"};

// The key, volatile and with its protection, kept as it is between runs: the last run's
// record stays readable until this run's first replaces it, and the mark of the program's own
// rate (engine/rate_mark) stays with it. A run of the stepped mode removes what a precise one
// left for people.
LONG OpenStatusKey(int precise, HKEY *key)
{
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kStatusKeySecurity, SDDL_REVISION_1, &descriptor, NULL))
        return static_cast<LONG>(GetLastError());
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    DWORD disposition;
    const LONG opened = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStatusKeyPath, 0, NULL, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                                        &attributes, key, &disposition);
    LocalFree(descriptor);
    if (opened == ERROR_SUCCESS && !g_statusPublish.published && !precise)
        for (const char *name : kPreciseOnlyValues)
            RegDeleteValueA(*key, name);
    return opened;
}

void RecordFailureOnce(LONG result)
{
    if (g_statusPublish.failureRecorded)
        return;
    g_statusPublish.failureRecorded = 1;
    char text[LAST_ERROR_TEXT_SIZE];
    FormatErrorText(static_cast<DWORD>(result), text, sizeof text);
    LPCSTR strings[1] = {text};
    WriteEvent(EVENTLOG_WARNING_TYPE, EVENT_STATUS_NOT_PUBLISHED, 1, strings);
}

}  // namespace

void FormatUtc(ULONGLONG fileTime, char *text)
{
    SYSTEMTIME time;
    const FILETIME asFileTime = ToFileTime(fileTime);
    if (fileTime == 0 || !FileTimeToSystemTime(&asFileTime, &time)) {
        std::snprintf(text, UTC_TEXT_SIZE, "none");
        return;
    }
    std::snprintf(text, UTC_TEXT_SIZE, "%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

void PublishWorkerStatus(const WorkerStatus *status)
{
    HKEY key = NULL;
    const LONG opened = OpenStatusKey(status->precise, &key);
    Writer out = {key, opened};
    if (opened == ERROR_SUCCESS) {
        WriteSnapshot(&out, *status);
        WriteValues(&out, *status);
        RegCloseKey(out.key);
    }
    if (out.result != ERROR_SUCCESS) {
        RecordFailureOnce(out.result);
        return;
    }
    g_statusPublish.published = 1;
}
