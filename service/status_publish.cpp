// The running service's state in the registry.
#include "service/status_publish.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>

#include "base/file_time.h"
#include "base/service_names.h"
#include "engine/board_discovery.h"
#include "engine/rate_mark.h"
#include "service/clock_set_log.h"
#include "service/error_text.h"
#include "service/event_log.h"
#include "service/event_messages.h"

StatusPublishState g_statusPublish;

namespace {

const char *FamilyName(DWORD family)
{
    switch (family) {
    case BOARD_FAMILY_TAV:
        return "TAV";
    case BOARD_FAMILY_BRQ:
        return "BRQ";
    case BOARD_FAMILY_FENLO:
        return "FENLO";
    default:
        return "unknown";
    }
}

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

void WriteValues(Writer *out, const WorkerStatus &status)
{
    out->Text("Mode", status.precise ? "precise" : "stepped");
    char board[32];
    std::snprintf(board, sizeof board, "%s at 0x%lX", FamilyName(status.familyCode),
                  static_cast<unsigned long>(status.boardAddress));
    out->Text("Board", board);
    out->Number("BoardFamily", status.familyCode);
    out->Number("BoardAddress", status.boardAddress);
    out->Time("StartedAt", status.startedAt);
    out->Time("LastComparisonAt", status.lastComparisonAt);
    out->Number("LastOffsetMs", static_cast<DWORD>(status.lastOffsetMs));
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

// The key, volatile and with its protection; a run's first publication starts it afresh, all
// but the mark of the program's own rate: that mark is what tells a start after a crash which
// rate in force is the program's to hand back. It is put back at once, and the key it makes is
// the one opened here. The worker both marks and publishes, so no mark comes in between.
LONG OpenStatusKey(HKEY *key)
{
    if (!g_statusPublish.published) {
        int preciseCall;
        ULONGLONG adjustment;
        const int marked = ReadOwnRateMark(&preciseCall, &adjustment);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStatusKeyPath);
        if (marked)
            MarkOwnRate(preciseCall, adjustment);
    }
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kStatusKeySecurity, SDDL_REVISION_1, &descriptor, NULL))
        return static_cast<LONG>(GetLastError());
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    DWORD disposition;
    const LONG opened = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kStatusKeyPath, 0, NULL, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                                        &attributes, key, &disposition);
    LocalFree(descriptor);
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
    const LONG opened = OpenStatusKey(&key);
    Writer out = {key, opened};
    if (opened == ERROR_SUCCESS) {
        WriteValues(&out, *status);
        RegCloseKey(out.key);
    }
    if (out.result != ERROR_SUCCESS) {
        RecordFailureOnce(out.result);
        return;
    }
    g_statusPublish.published = 1;
}
