// Reader board discovery.
#include "engine/board_discovery.h"

#include "base/console_output.h"
#include "reader/nttc_reader.h"

BoardRecord g_board = {0, 0, 0};

namespace {

// Every address a board can be set to, in the order they are asked. The first board to
// answer is the one used.
const WORD kCandidateAddresses[] = {0x200,  0x220,  0x280,  0x2A0,  0x300,  0x320,  0x380,  0x3A0,
                                    0xC000, 0xC400, 0xC800, 0xCC00, 0xD000, 0xD400, 0xD800, 0xDC00,
                                    0xCD00, 0xCE00, 0xCF00, 0xDD00, 0xDE00, 0xDF00};

// NttcIdentify's answers for the known boards.
enum IdentifyResult {
    IDENTIFIED_TAV = 1,
    IDENTIFIED_BRQ = 2,
    IDENTIFIED_FENLO = 3
};

// The identification values of TAV and BRQ boards are fixed by their family.
const WORD kTavIdentification = 149;
const WORD kBrqIdentification = 144;

// Written to an address where no known board answered, before the next one is asked.
const BYTE kNoBoardValue = 2;
const WORD kNoBoardRegister = 0x3FF;

const WORD kFenloIdentificationRegister = 0x3EF;
const int kFenloSignatureLength = 3;
const WORD kFenloSignatureRegisters[kFenloSignatureLength] = {0x3E0, 0x3E1, 0x3E2};
const BYTE kFenloSignatureByte = 'R';
const BYTE kFenloModelP = 'P';

// Sent to an accepted FENLO board: the first byte, then the one for its model.
const BYTE kFenloStartByte = 0x16;
const BYTE kFenloModelPByte = 0x23;
const BYTE kFenloOtherModelByte = 0x10;

void RecordBoard(WORD address, DWORD familyCode, WORD identificationValue)
{
    g_board.boardAddress = address;
    g_board.familyCode = familyCode;
    g_board.identificationValue = identificationValue;
}

// The library takes every argument by reference and may write through any of them; the
// copies keep the caller's register number and address as they were.
int ReadFenloRegister(WORD registerNumber, WORD address, BYTE *value)
{
    return NttcReadReg(value, &registerNumber, &address);
}

// Every signature register is read, whatever the reads return; one 'R' among them is
// enough.
int HasFenloSignature(WORD address)
{
    // A failed read leaves its byte as it was, so each starts at 0: a failed read then
    // counts as no 'R' instead of as whatever the stack held.
    BYTE signature[kFenloSignatureLength] = {0, 0, 0};
    for (int i = 0; i < kFenloSignatureLength; ++i)
        ReadFenloRegister(kFenloSignatureRegisters[i], address, &signature[i]);
    for (BYTE byte : signature)
        if (byte == kFenloSignatureByte)
            return 1;
    return 0;
}

// The sends' results are not looked at: the board is accepted once its signature is found.
void StartFenloBoard(WORD address, BYTE identification)
{
    // The library wants a second byte with each send. This program has no use for it, but
    // both sends pass this one, set so that nothing uninitialised reaches the library.
    BYTE secondByte = 0;
    BYTE value = kFenloStartByte;
    WORD sendAddress = address;
    NttcSendByte(&value, &secondByte, &sendAddress);
    value = identification == kFenloModelP ? kFenloModelPByte : kFenloOtherModelByte;
    sendAddress = address;
    NttcSendByte(&value, &secondByte, &sendAddress);
}

// A FENLO board that fails its check is not used, and the family code and address from
// any earlier board stay as they were.
int AcceptFenloBoard(WORD address)
{
    if (!InitFenloBoard(address))
        return 0;
    g_board.familyCode = BOARD_FAMILY_FENLO;
    return 1;
}

void WriteNoBoardRegister(WORD *address)
{
    BYTE value = kNoBoardValue;
    WORD registerNumber = kNoBoardRegister;
    // Its result changes nothing: the next candidate is asked either way.
    NttcWriteReg(&value, &registerNumber, address);
}

}  // namespace

int FindReaderBoard(void)
{
    for (WORD candidate : kCandidateAddresses)
        if (ProbeAddress(candidate))
            return 1;
    return 0;
}

int ProbeAddress(WORD candidate)
{
    // The library may move the address; the value it leaves is the board's address.
    WORD address = candidate;
    switch (NttcIdentify(&address)) {
    case IDENTIFIED_TAV:
        ConsoleTrace(" Found TAV \n");
        RecordBoard(address, BOARD_FAMILY_TAV, kTavIdentification);
        return 1;
    case IDENTIFIED_BRQ:
        ConsoleTrace(" Found BRQ \n");
        RecordBoard(address, BOARD_FAMILY_BRQ, kBrqIdentification);
        return 1;
    case IDENTIFIED_FENLO:
        ConsoleTrace(" Found FENLO \n");
        return AcceptFenloBoard(address);
    default:
        WriteNoBoardRegister(&address);
        return 0;
    }
}

int InitFenloBoard(WORD address)
{
    // A failed read leaves the byte as it was, so it starts at 0: a failed read then
    // stands for no model 'P' instead of whatever the stack held.
    BYTE identification = 0;
    if (ReadFenloRegister(kFenloIdentificationRegister, address, &identification))
        g_board.identificationValue = identification;
    if (!HasFenloSignature(address))
        return 0;
    g_board.boardAddress = address;
    StartFenloBoard(address, identification);
    return 1;
}
