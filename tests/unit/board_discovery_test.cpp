// Reader board discovery: which addresses are asked, in what order, what each kind of
// board is told, and what is recorded.
#include "engine/board_discovery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "fake_platform.h"
#include "fake_reader.h"
#include "base/console_output.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The addresses a board can be set to, in the order they must be asked.
const WORD kCandidates[] = {0x200,  0x220,  0x280,  0x2A0,  0x300,  0x320,  0x380,  0x3A0,
                            0xC000, 0xC400, 0xC800, 0xCC00, 0xD000, 0xD400, 0xD800, 0xDC00,
                            0xCD00, 0xCE00, 0xCF00, 0xDD00, 0xDE00, 0xDF00};

// A board found on an earlier search, for the cases that must leave parts of it alone.
const BoardRecord kEarlierBoard = {0x220, BOARD_FAMILY_TAV, 149};

const int kUnreadable = -1;  // a register the fake library cannot read

typedef std::tuple<unsigned, unsigned, unsigned> BoardFields;  // address, family, identification

BoardFields Recorded()
{
    return BoardFields{g_board.boardAddress, g_board.familyCode, g_board.identificationValue};
}

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...)
{
    char line[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

void Append(std::vector<std::string> *calls, const std::vector<std::string> &more)
{
    calls->insert(calls->end(), more.begin(), more.end());
}

// The calls for a candidate where no known board answered; `left` is where NttcIdentify
// left the address.
std::vector<std::string> NoBoardCalls(WORD asked, WORD left)
{
    return {Format("NttcIdentify 0x%x", asked), Format("NttcWriteReg 0x2 0x3ff 0x%x", left)};
}

std::vector<std::string> NoBoardCallsUpTo(WORD candidate)
{
    std::vector<std::string> calls;
    for (WORD asked : kCandidates) {
        if (asked == candidate)
            break;
        Append(&calls, NoBoardCalls(asked, asked));
    }
    return calls;
}

// The calls for a FENLO board up to and including its signature check.
std::vector<std::string> FenloCheckCalls(WORD asked, WORD address)
{
    return {Format("NttcIdentify 0x%x", asked), Format("NttcReadReg 0x3ef 0x%x", address),
            Format("NttcReadReg 0x3e0 0x%x", address), Format("NttcReadReg 0x3e1 0x%x", address),
            Format("NttcReadReg 0x3e2 0x%x", address)};
}

std::vector<std::string> FenloStartCalls(BYTE modelByte, const std::string &secondByte, WORD address)
{
    return {Format("NttcSendByte 0x16 %s 0x%x", secondByte.c_str(), address),
            Format("NttcSendByte 0x%x %s 0x%x", modelByte, secondByte.c_str(), address)};
}

// The second-byte pointer of the first NttcSendByte, as the fake recorded it; the expected
// calls are built with it, so a second send with another pointer fails the comparison.
std::string FirstSecondBytePointer()
{
    const std::vector<std::string> sends = FakeCallsNamed("NttcSendByte");
    if (sends.empty())
        return "(no send)";
    std::istringstream words(sends.front());
    std::string name, value, pointer;
    words >> name >> value >> pointer;
    return pointer;
}

void PutBoard(WORD asked, int identifyResult, WORD left)
{
    g_fakeReader.boards[asked] = FakeBoardAnswer{identifyResult, left};
}

void PutRegister(WORD registerNumber, int value)
{
    if (value != kUnreadable)
        g_fakeReader.registers[registerNumber] = FakeRegister{1, static_cast<BYTE>(value)};
}

void PutFenloRegisters(int identification, int signature0, int signature1, int signature2)
{
    PutRegister(0x3EF, identification);
    PutRegister(0x3E0, signature0);
    PutRegister(0x3E1, signature1);
    PutRegister(0x3E2, signature2);
}

class BoardDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeReset();
        FakeReaderReset();
        g_board = BoardRecord{0, 0, 0};
        g_console = ConsoleState{0};
    }
};

// No known board anywhere, whether the library answers 0 or something unknown.
struct NoBoardCase {
    const char *name;
    bool answers;        // false: the fake library answers 0 at every address
    int identifyResult;  // what it answers otherwise
};

void PrintTo(const NoBoardCase &c, std::ostream *os) { *os << c.name; }

class NoBoardTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<NoBoardCase> {};

TEST_P(NoBoardTable, AsksEveryCandidateInOrderAndFindsNothing)
{
    if (GetParam().answers)
        for (WORD candidate : kCandidates)
            PutBoard(candidate, GetParam().identifyResult, candidate);

    EXPECT_EQ(FindReaderBoard(), 0);

    std::vector<std::string> expected;
    for (WORD candidate : kCandidates)
        Append(&expected, NoBoardCalls(candidate, candidate));
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(EmptyBus, NoBoardTable,
                         ::testing::Values(NoBoardCase{"Silent", false, 0}, NoBoardCase{"AnswersSeven", true, 7},
                                           NoBoardCase{"AnswersMinusOne", true, -1}),
                         [](const ::testing::TestParamInfo<NoBoardCase> &info) { return info.param.name; });

// One board, at each candidate in turn: every candidate before it is asked, none after.
struct CandidateCase {
    std::string name;
    WORD address;
};

void PrintTo(const CandidateCase &c, std::ostream *os) { *os << c.name; }

std::vector<CandidateCase> EveryCandidate()
{
    std::vector<CandidateCase> cases;
    for (WORD candidate : kCandidates)
        cases.push_back(CandidateCase{Format("At%04X", candidate), candidate});
    return cases;
}

class CandidateTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<CandidateCase> {};

TEST_P(CandidateTable, FindsTheBoardAfterAskingOnlyTheCandidatesBeforeIt)
{
    const WORD address = GetParam().address;
    PutBoard(address, 2, address);

    EXPECT_EQ(FindReaderBoard(), 1);

    std::vector<std::string> expected = NoBoardCallsUpTo(address);
    expected.push_back(Format("NttcIdentify 0x%x", address));
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(address, 2, 144));
}

INSTANTIATE_TEST_SUITE_P(OneBoard, CandidateTable, ::testing::ValuesIn(EveryCandidate()),
                         [](const ::testing::TestParamInfo<CandidateCase> &info) { return info.param.name; });

TEST_F(BoardDiscoveryTest, FirstBoardToAnswerWinsAndLaterCandidatesAreNeverAsked)
{
    PutBoard(0x300, 1, 0x300);
    PutBoard(0xC800, 2, 0xC800);

    EXPECT_EQ(FindReaderBoard(), 1);

    std::vector<std::string> expected = NoBoardCallsUpTo(0x300);
    expected.push_back("NttcIdentify 0x300");
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(g_fakeReader.identifyCalls.count(0xC800), 0u);
    EXPECT_EQ(Recorded(), BoardFields(0x300, 1, 149));
}

TEST_F(BoardDiscoveryTest, RefusedFenloIsPassedOverForTheNextCandidate)
{
    PutBoard(0x200, 3, 0x200);
    PutFenloRegisters('P', 'Q', 'S', 'r');
    PutBoard(0x220, 1, 0x220);

    EXPECT_EQ(FindReaderBoard(), 1);

    std::vector<std::string> expected = FenloCheckCalls(0x200, 0x200);
    expected.push_back("NttcIdentify 0x220");
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(0x220, 1, 149));
}

// TAV and BRQ: recorded with their fixed identification at the address the library left.
struct IdentifiedCase {
    const char *name;
    int identifyResult;
    WORD left;  // where NttcIdentify leaves the address asked at 0x300
    unsigned family;
    unsigned identification;
};

void PrintTo(const IdentifiedCase &c, std::ostream *os) { *os << c.name; }

class IdentifiedTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<IdentifiedCase> {};

TEST_P(IdentifiedTable, RecordsTheBoardWithoutFurtherCalls)
{
    g_board = kEarlierBoard;
    PutBoard(0x300, GetParam().identifyResult, GetParam().left);

    EXPECT_EQ(ProbeAddress(0x300), 1);

    EXPECT_THAT(g_fake.calls, ElementsAre("NttcIdentify 0x300"));
    EXPECT_EQ(Recorded(), BoardFields(GetParam().left, GetParam().family, GetParam().identification));
}

INSTANTIATE_TEST_SUITE_P(KnownBoards, IdentifiedTable,
                         ::testing::Values(IdentifiedCase{"Tav", 1, 0x300, 1, 149},
                                           IdentifiedCase{"TavMovedByLibrary", 1, 0x308, 1, 149},
                                           IdentifiedCase{"Brq", 2, 0x300, 2, 144},
                                           IdentifiedCase{"BrqMovedByLibrary", 2, 0xD300, 2, 144}),
                         [](const ::testing::TestParamInfo<IdentifiedCase> &info) { return info.param.name; });

// Anything but 1, 2 or 3 is no known board: the register write goes to the address the
// library left, and nothing is recorded.
struct UnknownAnswerCase {
    const char *name;
    int identifyResult;
    WORD left;  // where NttcIdentify leaves the address asked at 0x300
};

void PrintTo(const UnknownAnswerCase &c, std::ostream *os) { *os << c.name; }

class UnknownAnswerTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<UnknownAnswerCase> {};

TEST_P(UnknownAnswerTable, WritesTheNoBoardRegisterAndReportsNothingFound)
{
    g_board = kEarlierBoard;
    PutBoard(0x300, GetParam().identifyResult, GetParam().left);

    EXPECT_EQ(ProbeAddress(0x300), 0);

    EXPECT_EQ(g_fake.calls, NoBoardCalls(0x300, GetParam().left));
    EXPECT_EQ(Recorded(), BoardFields(0x220, 1, 149));
}

INSTANTIATE_TEST_SUITE_P(
    NoKnownBoard, UnknownAnswerTable,
    ::testing::Values(UnknownAnswerCase{"Zero", 0, 0x300}, UnknownAnswerCase{"ZeroMovedByLibrary", 0, 0x310},
                      UnknownAnswerCase{"Four", 4, 0x300}, UnknownAnswerCase{"Seven", 7, 0x300},
                      UnknownAnswerCase{"SevenMovedByLibrary", 7, 0x2A8}, UnknownAnswerCase{"MinusOne", -1, 0x300},
                      UnknownAnswerCase{"FamilyCodeEighty", 80, 0x300}, UnknownAnswerCase{"Above255", 0x101, 0x300}),
    [](const ::testing::TestParamInfo<UnknownAnswerCase> &info) { return info.param.name; });

// FENLO: one 'R' among the three signature bytes accepts the board, whatever the reads
// return; without one it is refused and the earlier family code and address stay.
struct SignatureCase {
    const char *name;
    int signature[3];  // kUnreadable: that read fails
    bool accepted;
};

void PrintTo(const SignatureCase &c, std::ostream *os) { *os << c.name; }

class SignatureTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<SignatureCase> {};

TEST_P(SignatureTable, AcceptsOnOneRAndRefusesOnNone)
{
    g_board = kEarlierBoard;
    PutBoard(0x300, 3, 0x300);
    const int *signature = GetParam().signature;
    PutFenloRegisters('A', signature[0], signature[1], signature[2]);

    const int found = ProbeAddress(0x300);

    std::vector<std::string> expected = FenloCheckCalls(0x300, 0x300);
    if (GetParam().accepted) {
        EXPECT_EQ(found, 1);
        Append(&expected, FenloStartCalls(0x10, FirstSecondBytePointer(), 0x300));
        EXPECT_EQ(Recorded(), BoardFields(0x300, 80, 'A'));
    } else {
        EXPECT_EQ(found, 0);
        EXPECT_EQ(Recorded(), BoardFields(0x220, 1, 'A'));
    }
    EXPECT_EQ(g_fake.calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    FenloSignatures, SignatureTable,
    ::testing::Values(SignatureCase{"RFirst", {'R', 0, 0}, true}, SignatureCase{"RSecond", {0, 'R', 0}, true},
                      SignatureCase{"RThird", {'X', 'Y', 'R'}, true}, SignatureCase{"AllR", {'R', 'R', 'R'}, true},
                      SignatureCase{"RAfterTwoFailedReads", {kUnreadable, kUnreadable, 'R'}, true},
                      SignatureCase{"RBeforeAFailedRead", {'R', kUnreadable, 0}, true},
                      SignatureCase{"NoneZero", {0, 0, 0}, false},
                      SignatureCase{"NoneNeighbours", {'Q', 'S', 'r'}, false},
                      SignatureCase{"NoneRWithHighBit", {0xD2, 0xD2, 0xD2}, false},
                      SignatureCase{"NoneReadable", {kUnreadable, kUnreadable, kUnreadable}, false}),
    [](const ::testing::TestParamInfo<SignatureCase> &info) { return info.param.name; });

TEST_F(BoardDiscoveryTest, RInTheIdentificationRegisterIsNoSignature)
{
    PutBoard(0x300, 3, 0x300);
    PutFenloRegisters('R', 0, 0, 0);

    EXPECT_EQ(ProbeAddress(0x300), 0);
    EXPECT_THAT(FakeCallsNamed("NttcSendByte"), IsEmpty());
}

// An accepted FENLO is sent 0x16, then 0x23 for model 'P' and 0x10 for any other, both with
// the same second byte. Its identification byte is recorded zero-extended.
struct ModelCase {
    const char *name;
    BYTE identification;
    BYTE modelByte;
};

void PrintTo(const ModelCase &c, std::ostream *os) { *os << c.name; }

class ModelTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelTable, StartsTheBoardForItsModel)
{
    PutBoard(0xC800, 3, 0xC800);
    PutFenloRegisters(GetParam().identification, 0, 'R', 0);

    EXPECT_EQ(ProbeAddress(0xC800), 1);

    const std::string secondByte = FirstSecondBytePointer();
    EXPECT_NE(secondByte, "(nil)");
    std::vector<std::string> expected = FenloCheckCalls(0xC800, 0xC800);
    Append(&expected, FenloStartCalls(GetParam().modelByte, secondByte, 0xC800));
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(0xC800, 80, GetParam().identification));
}

INSTANTIATE_TEST_SUITE_P(FenloModels, ModelTable,
                         ::testing::Values(ModelCase{"ModelP", 'P', 0x23}, ModelCase{"LowerP", 'p', 0x10},
                                           ModelCase{"ModelQ", 'Q', 0x10}, ModelCase{"ModelR", 'R', 0x10},
                                           ModelCase{"Zero", 0x00, 0x10}, ModelCase{"PWithHighBit", 0xD0, 0x10},
                                           ModelCase{"AllBits", 0xFF, 0x10}),
                         [](const ::testing::TestParamInfo<ModelCase> &info) { return info.param.name; });

TEST_F(BoardDiscoveryTest, UnreadableIdentificationLeavesTheValueAndStartsAsOtherModel)
{
    g_board = kEarlierBoard;
    PutBoard(0x300, 3, 0x300);
    PutFenloRegisters(kUnreadable, 'R', 0, 0);

    EXPECT_EQ(ProbeAddress(0x300), 1);

    std::vector<std::string> expected = FenloCheckCalls(0x300, 0x300);
    Append(&expected, FenloStartCalls(0x10, FirstSecondBytePointer(), 0x300));
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(0x300, 80, 149));
}

TEST_F(BoardDiscoveryTest, IdentificationFromAFailedReadIsNotRecorded)
{
    g_board = kEarlierBoard;
    PutBoard(0x300, 3, 0x300);
    PutFenloRegisters(kUnreadable, 0, 0, 0);
    g_fakeReader.registers[0x3EF] = FakeRegister{0, 'A'};

    EXPECT_EQ(ProbeAddress(0x300), 0);
    EXPECT_EQ(Recorded(), BoardFields(0x220, 1, 149));
}

TEST_F(BoardDiscoveryTest, FenloMovedByTheLibraryIsCheckedStartedAndRecordedAtItsNewAddress)
{
    PutBoard(0x380, 3, 0x388);
    PutFenloRegisters('P', 'R', 0, 0);

    EXPECT_EQ(FindReaderBoard(), 1);

    std::vector<std::string> expected = NoBoardCallsUpTo(0x380);
    Append(&expected, FenloCheckCalls(0x380, 0x388));
    Append(&expected, FenloStartCalls(0x23, FirstSecondBytePointer(), 0x388));
    EXPECT_EQ(g_fake.calls, expected);
    EXPECT_EQ(Recorded(), BoardFields(0x388, 80, 'P'));
}

TEST_F(BoardDiscoveryTest, RefusedFenloMovedByTheLibraryIsCheckedAtItsNewAddressAndNotRecorded)
{
    g_board = kEarlierBoard;
    PutBoard(0x380, 3, 0x388);
    PutFenloRegisters('P', 0, 0, 0);

    EXPECT_EQ(ProbeAddress(0x380), 0);

    EXPECT_EQ(g_fake.calls, FenloCheckCalls(0x380, 0x388));
    EXPECT_EQ(Recorded(), BoardFields(0x220, 1, 'P'));
}

TEST_F(BoardDiscoveryTest, FenloCheckOnItsOwnRecordsTheAddressButLeavesTheFamily)
{
    g_board = kEarlierBoard;
    PutFenloRegisters('B', 'R', 'R', 'R');

    EXPECT_EQ(InitFenloBoard(0xDE00), 1);
    EXPECT_EQ(Recorded(), BoardFields(0xDE00, 1, 'B'));
}

// Console traces: one line per known board answering, FENLO's whether or not it passes its
// check; nothing outside console mode.
struct TraceCase {
    const char *name;
    int consoleMode;
    int identifyResult;
    BYTE fenloSignature;
    const char *output;
};

void PrintTo(const TraceCase &c, std::ostream *os) { *os << c.name; }

class TraceTable : public BoardDiscoveryTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(TraceTable, PrintsTheBoardFoundInConsoleModeOnly)
{
    g_console.consoleMode = GetParam().consoleMode;
    PutBoard(0x300, GetParam().identifyResult, 0x300);
    PutFenloRegisters('P', GetParam().fenloSignature, 0, 0);

    ::testing::internal::CaptureStdout();
    ProbeAddress(0x300);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Traces, TraceTable,
    ::testing::Values(TraceCase{"ConsoleTav", 1, 1, 0, " Found TAV \n"},
                      TraceCase{"ConsoleBrq", 1, 2, 0, " Found BRQ \n"},
                      TraceCase{"ConsoleFenloAccepted", 1, 3, 'R', " Found FENLO \n"},
                      TraceCase{"ConsoleFenloRefused", 1, 3, 0, " Found FENLO \n"},
                      TraceCase{"ConsoleNoBoard", 1, 0, 0, ""}, TraceCase{"ConsoleUnknownAnswer", 1, 7, 0, ""},
                      TraceCase{"ServiceTav", 0, 1, 0, ""}, TraceCase{"ServiceBrq", 0, 2, 0, ""},
                      TraceCase{"ServiceFenloAccepted", 0, 3, 'R', ""},
                      TraceCase{"ServiceFenloRefused", 0, 3, 0, ""}),
    [](const ::testing::TestParamInfo<TraceCase> &info) { return info.param.name; });

TEST_F(BoardDiscoveryTest, ConsoleTracesEachBoardThatAnswersDuringASearch)
{
    g_console.consoleMode = 1;
    PutBoard(0x200, 3, 0x200);
    PutFenloRegisters('A', 0, 0, 0);
    PutBoard(0x280, 2, 0x280);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(FindReaderBoard(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " Found FENLO \n Found BRQ \n");
}

}  // namespace
