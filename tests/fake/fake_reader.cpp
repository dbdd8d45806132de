// Scripted fake of the reader library.
#include "fake_reader.h"

#include "fake_platform.h"
#include "reader/nttc_reader.h"

FakeReaderState g_fakeReader;

void FakeReaderReset() { g_fakeReader = FakeReaderState{}; }

void FakeQueueWord(DWORD word) { g_fakeReader.reads.push_back(FakeRead{1, word}); }

extern "C" {

int WINAPI NttcOpen(void)
{
    FakeRecord("NttcOpen");
    return g_fakeReader.openResult;
}

int WINAPI NttcIdentify(WORD *address)
{
    FakeRecord("NttcIdentify 0x%x", *address);
    ++g_fakeReader.identifyCalls[*address];
    auto board = g_fakeReader.boards.find(*address);
    if (board == g_fakeReader.boards.end())
        return 0;
    *address = board->second.answerAddress;
    return board->second.family;
}

int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *address)
{
    FakeRecord("NttcReadTime 0x%x", *address);
    FakeRead read = g_fakeReader.readWhenEmpty;
    if (!g_fakeReader.reads.empty()) {
        read = g_fakeReader.reads.front();
        g_fakeReader.reads.pop_front();
    }
    // Like the board's library, a failed read leaves the caller's word as it was.
    if (read.result)
        *timeCodeWord = read.word;
    return read.result;
}

int WINAPI NttcReadReg(BYTE *value, WORD *registerNumber, WORD *address)
{
    FakeRecord("NttcReadReg 0x%x 0x%x", *registerNumber, *address);
    auto reg = g_fakeReader.registers.find(*registerNumber);
    if (reg == g_fakeReader.registers.end())
        return 0;
    *value = reg->second.value;
    return reg->second.result;
}

int WINAPI NttcWriteReg(BYTE *value, WORD *registerNumber, WORD *address)
{
    FakeRecord("NttcWriteReg 0x%x 0x%x 0x%x", *value, *registerNumber, *address);
    return 1;
}

int WINAPI NttcSendByte(BYTE *value, BYTE *secondByte, WORD *address)
{
    FakeRecord("NttcSendByte 0x%x %p 0x%x", *value, static_cast<void *>(secondByte), *address);
    return 1;
}

}
