// One whole state of the running service as one registry value.
#include "service/status_record.h"

#include <cstdio>
#include <cstring>

#include "engine/board_discovery.h"

const char kSnapshotValueName[] = "Snapshot";

namespace {

const double kMsPerS = 1000;

// Writes or reads the fields in one order, little-endian, a cursor moving over the bytes.
struct Cursor {
    BYTE *bytes;
    DWORD at;

    void Put(ULONGLONG value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes[at++] = static_cast<BYTE>(value >> (8 * i));
    }
    ULONGLONG Take(int size)
    {
        ULONGLONG value = 0;
        for (int i = 0; i < size; ++i)
            value |= static_cast<ULONGLONG>(bytes[at++]) << (8 * i);
        return value;
    }
};

ULONGLONG BitsOf(double value)
{
    ULONGLONG bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double DoubleOf(ULONGLONG bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Both directions walk the same list, so the two can never disagree on the layout.
template <typename Visit>
void VisitFields(StatusRecord &r, Visit visit)
{
    DWORD *words[] = {&r.precise, &r.familyCode, &r.boardAddress};
    for (DWORD *word : words)
        visit.Word(word);
    ULONGLONG *times[] = {&r.writtenAt,        &r.writtenTickMs,        &r.startedAt,        &r.startedTickMs,
                          &r.lastComparisonAt, &r.lastComparisonTickMs, &r.lastCorrectionAt, &r.lastCorrectionTickMs};
    for (ULONGLONG *time : times)
        visit.Long(time);
    visit.Word(reinterpret_cast<DWORD *>(&r.lastOffsetMs));
    DWORD *counts[] = {&r.comparisons, &r.outOfStep, &r.corrections, &r.unrecorded};
    for (DWORD *count : counts)
        visit.Word(count);
    double *figures[] = {&r.offsetMs, &r.halfWidthMs, &r.ratePpm, &r.rateScale};
    for (double *figure : figures)
        visit.Figure(figure);
    visit.Text(r.state);
    visit.Text(r.rateCall);
}

struct Writer {
    Cursor *out;
    void Word(DWORD *value) { out->Put(*value, 4); }
    void Long(ULONGLONG *value) { out->Put(*value, 8); }
    void Figure(double *value) { out->Put(BitsOf(*value), 8); }
    void Text(char *text)
    {
        std::memcpy(out->bytes + out->at, text, STATUS_RECORD_WORD);
        out->bytes[out->at + STATUS_RECORD_WORD - 1] = 0;
        out->at += STATUS_RECORD_WORD;
    }
};

struct Reader {
    Cursor *in;
    void Word(DWORD *value) { *value = static_cast<DWORD>(in->Take(4)); }
    void Long(ULONGLONG *value) { *value = in->Take(8); }
    void Figure(double *value) { *value = DoubleOf(in->Take(8)); }
    void Text(char *text)
    {
        std::memcpy(text, in->bytes + in->at, STATUS_RECORD_WORD);
        text[STATUS_RECORD_WORD - 1] = 0;
        in->at += STATUS_RECORD_WORD;
    }
};

}  // namespace

void EncodeStatusRecord(const StatusRecord &record, BYTE *bytes)
{
    std::memset(bytes, 0, STATUS_RECORD_BYTES);
    Cursor out = {bytes, 0};
    out.Put(STATUS_RECORD_VERSION, 4);
    out.Put(STATUS_RECORD_BYTES, 4);
    StatusRecord copy = record;
    VisitFields(copy, Writer{&out});
}

int DecodeStatusRecord(const BYTE *bytes, DWORD size, StatusRecord *record)
{
    if (size != STATUS_RECORD_BYTES)
        return 0;
    Cursor in = {const_cast<BYTE *>(bytes), 0};
    if (in.Take(4) != STATUS_RECORD_VERSION || in.Take(4) != STATUS_RECORD_BYTES)
        return 0;
    StatusRecord read = {};
    VisitFields(read, Reader{&in});
    *record = read;
    return 1;
}

const char *BoardFamilyWord(DWORD familyCode)
{
    switch (familyCode) {
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

void FormatBoard(DWORD familyCode, DWORD address, char *text)
{
    std::snprintf(text, BOARD_TEXT_SIZE, "%s at 0x%lX", BoardFamilyWord(familyCode), static_cast<unsigned long>(address));
}

double TickAgeS(ULONGLONG thenTickMs, ULONGLONG nowTickMs)
{
    return (static_cast<double>(nowTickMs) - static_cast<double>(thenTickMs)) / kMsPerS;
}
