// Scripted fake of the reader library for the host tests.
//
// Each operation records one line in g_fake.calls ("NttcReadTime 0x300"), then answers from
// g_fakeReader. Time-code reads come from a queue; once it is empty every read answers
// `readWhenEmpty`. Boards answer per address; registers per register number.
#pragma once

#include <windows.h>

#include <deque>
#include <map>

struct FakeRead {
    int result;
    DWORD word;
};

struct FakeBoardAnswer {
    int family;          // NttcIdentify's result
    WORD answerAddress;  // what NttcIdentify leaves in *address
};

struct FakeRegister {
    int result;
    BYTE value;
};

struct FakeReaderState {
    int openResult = 1;
    std::deque<FakeRead> reads;
    FakeRead readWhenEmpty{0, 0};
    std::map<WORD, FakeBoardAnswer> boards;       // address -> answer; others answer 0
    std::map<WORD, FakeRegister> registers;       // FENLO register -> byte; others fail
    std::map<WORD, int> identifyCalls;            // address -> how many times it was asked
};

extern FakeReaderState g_fakeReader;

void FakeReaderReset();

// Queues one successful read of `word`.
void FakeQueueWord(DWORD word);
