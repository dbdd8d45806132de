// One whole state of the running service as one registry value: the `Status` key's REG_BINARY
// `Snapshot`, written by one RegSetValueEx, so that a reader sees the state before it or the
// state after it, never half of each. The record is laid out byte by byte (little-endian,
// version and length first), the same in the 32-bit and the 64-bit build.
//
// Pure code, no platform call: service/status_publish writes it, service/status_command reads it.
#pragma once

#include <windows.h>

extern const char kSnapshotValueName[];  // "Snapshot"

enum { STATUS_RECORD_VERSION = 1, STATUS_RECORD_BYTES = 176, STATUS_RECORD_WORD = 16 };

struct StatusRecord {
    DWORD precise;  // 1: the precise mode
    DWORD familyCode;
    DWORD boardAddress;
    // UTC FILETIME values, and the system's tick count (ms) at each; 0 for none.
    ULONGLONG writtenAt, writtenTickMs;
    ULONGLONG startedAt, startedTickMs;
    ULONGLONG lastComparisonAt, lastComparisonTickMs;
    ULONGLONG lastCorrectionAt, lastCorrectionTickMs;
    LONG lastOffsetMs;  // the computer minus the board at the last comparison
    DWORD comparisons, outOfStep, corrections, unrecorded;
    // The precise mode only: its latest second and its rate call.
    double offsetMs, halfWidthMs, ratePpm, rateScale;
    char state[STATUS_RECORD_WORD];
    char rateCall[STATUS_RECORD_WORD];
};

void EncodeStatusRecord(const StatusRecord &record, BYTE *bytes);

// 1 when the bytes are one whole record of this version; 0 (and *record untouched) otherwise.
int DecodeStatusRecord(const BYTE *bytes, DWORD size, StatusRecord *record);

// "TAV", "BRQ", "FENLO" or "unknown" for a board family's code.
const char *BoardFamilyWord(DWORD familyCode);

// "TAV at 0x300": the board as the published state and -status name it.
enum { BOARD_TEXT_SIZE = 32 };
void FormatBoard(DWORD familyCode, DWORD address, char *text);

// Seconds from one reading of the system's tick count to a later one; the clock's steps do not
// come into it. A negative age for a time not yet reached, which a tick count never gives.
double TickAgeS(ULONGLONG thenTickMs, ULONGLONG nowTickMs);
