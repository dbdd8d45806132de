// The running service's state in the registry, for `-status` and for monitoring systems that
// read a registry value: the worker's status (engine/worker_status) and the corrections the
// event log has not recorded yet, under a volatile key that is gone when the machine restarts.
//
//   HKLM\SYSTEM\CurrentControlSet\Services\ZYN_NT_Horavex2\Status
//     Snapshot (REG_BINARY)               the whole state as one record (service/status_record),
//                                         written first: what -status reads
//     Mode (REG_SZ)                       "stepped" or "precise"
//     Board (REG_SZ), BoardFamily, BoardAddress (REG_DWORD)
//     StartedAt, LastComparisonAt, LastCorrectionAt, WrittenAt (REG_SZ, UTC, "none" for none),
//       each with ...FileTime (REG_QWORD, UTC FILETIME, 0 for none)
//     LastOffsetMs (REG_SZ, "-12": the computer minus the board at the last comparison)
//     Comparisons, OutOfStepComparisons, Corrections, UnrecordedCorrections (REG_DWORD)
//     precise mode only: OffsetMs, HalfWidthMs, RatePpm, State, RateCall, RateScale (REG_SZ)
//
// Readable by Users, writable by SYSTEM and Administrators only (base/service_names). The
// values for people are written after the record, from the same status. A run of the
// stepped mode removes the precise mode's values an earlier run left; the mark of the
// program's own clock rate (engine/rate_mark) stays as long as that rate does. A failure is no
// failure of the service: it is tried again at the next publication, and recorded once in the
// event log.
#pragma once

#include <windows.h>

#include "engine/worker_status.h"

struct StatusPublishState {
    int published;        // 1 once this run has written the key
    int failureRecorded;  // 1 once a failure was recorded
};

extern StatusPublishState g_statusPublish;

// Writes the status; the service's reporter.
void PublishWorkerStatus(const WorkerStatus *status);

// "2026-12-07 18:40:00.123 UTC" for a UTC FILETIME value, "none" for 0.
enum { UTC_TEXT_SIZE = 48 };
void FormatUtc(ULONGLONG fileTime, char *text);
