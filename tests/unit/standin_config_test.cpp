// The stand-in library's configuration file: ZYN_NTTC.ini text in, configuration record out.
#include "reader/standin/standin_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Every field of a record on one line, so that a failed comparison shows what differs.
std::string Describe(const StandinConfig &c)
{
    std::ostringstream text;
    text << "family=" << c.family << " address=0x" << std::hex << c.address << " answerAddress=0x"
         << c.answerAddress << std::dec << " answerFromQuery=" << c.answerFromQuery
         << " fenloId=" << int(c.fenloId) << " signature=" << int(c.fenloSignature[0]) << ','
         << int(c.fenloSignature[1]) << ',' << int(c.fenloSignature[2]) << " useUtc=" << c.useUtc
         << " offsetMs=" << c.offsetMs << " frameRate=" << c.frameRate << " openFails=" << c.openFails
         << " readFailPercent=" << c.readFailPercent << " tornReadPercent=" << c.tornReadPercent
         << " frozenAfterReads=" << c.frozenAfterReads << " silentAfterReads=" << c.silentAfterReads
         << " silentForReads=" << c.silentForReads << " silentEveryReads=" << c.silentEveryReads
         << " logName='" << c.logName << "'"
         << " sampleEveryReads=" << c.sampleEveryReads << " seed=" << c.seed;
    return text.str();
}

StandinConfig Defaults()
{
    StandinConfig config;
    StandinConfigDefaults(&config);
    return config;
}

struct Parsed {
    int result;
    StandinConfig config;
    StandinParseReport report;
};

Parsed Parse(const std::string &text)
{
    Parsed parsed;
    // Start from garbage, so that a field the parser forgets to set shows.
    std::memset(&parsed.config, 0xA5, sizeof parsed.config);
    std::memset(&parsed.report, 0xA5, sizeof parsed.report);
    parsed.result = StandinParseConfig(text.data(), text.size(), &parsed.config, &parsed.report);
    return parsed;
}

void ExpectCleanReport(const StandinParseReport &report)
{
    EXPECT_EQ(report.rejectedLines, 0);
    EXPECT_EQ(report.firstRejectedLine, 0);
    EXPECT_EQ(report.unknownKeys, 0);
    EXPECT_EQ(report.firstUnknownLine, 0);
}

TEST(StandinConfigDefaults, AreATavBoardAt0x300OnTheLocalClockWithoutFaultsOrLog)
{
    const StandinConfig config = Defaults();
    EXPECT_EQ(config.family, STANDIN_FAMILY_TAV);
    EXPECT_EQ(config.address, 0x300);
    EXPECT_EQ(config.answerAddress, 0x300);
    EXPECT_EQ(config.answerFromQuery, 1u);
    EXPECT_EQ(config.fenloId, 'P');
    EXPECT_EQ(config.fenloSignature[0], 'R');
    EXPECT_EQ(config.fenloSignature[1], 'R');
    EXPECT_EQ(config.fenloSignature[2], 'R');
    EXPECT_EQ(config.useUtc, 0);
    EXPECT_EQ(config.offsetMs, 0);
    EXPECT_EQ(config.frameRate, 25);
    EXPECT_EQ(config.openFails, 0);
    EXPECT_EQ(config.readFailPercent, 0);
    EXPECT_EQ(config.tornReadPercent, 0);
    EXPECT_EQ(config.frozenAfterReads, 0u);
    EXPECT_EQ(config.silentAfterReads, 0u);
    EXPECT_EQ(config.silentForReads, 0u);
    EXPECT_EQ(config.silentEveryReads, 0u);
    EXPECT_STREQ(config.logName, "");
    EXPECT_EQ(config.sampleEveryReads, 0u);
    EXPECT_EQ(config.seed, 1u);
}

TEST(StandinConfigParse, EmptyTextGivesTheDefaults)
{
    const Parsed parsed = Parse("");
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    ExpectCleanReport(parsed.report);
}

TEST(StandinConfigParse, CommentsAndBlankLinesGiveTheDefaults)
{
    const Parsed parsed = Parse("# nothing here\n\n   \t\n#board = brq\n  # address = 0x200\r\n");
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    ExpectCleanReport(parsed.report);
}

// One accepted text per case, and what it changes from the defaults.
struct KeyCase {
    const char *name;
    const char *text;
    void (*expect)(StandinConfig *config);
};

void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.name; }

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, SetsTheKeyAndNothingElse)
{
    StandinConfig expected = Defaults();
    GetParam().expect(&expected);
    const Parsed parsed = Parse(GetParam().text);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(expected));
    ExpectCleanReport(parsed.report);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKey, KeyTable,
    ::testing::Values(
        KeyCase{"BoardBrq", "board = BRQ", [](StandinConfig *c) { c->family = STANDIN_FAMILY_BRQ; }},
        KeyCase{"BoardFenloLowerCase", "board = fenlo", [](StandinConfig *c) { c->family = STANDIN_FAMILY_FENLO; }},
        KeyCase{"BoardNone", "board = None", [](StandinConfig *c) { c->family = STANDIN_FAMILY_NONE; }},
        KeyCase{"BoardTavMixedCaseAfterBrq", "board = brq\nboard = tAv", [](StandinConfig *) {}},
        // Without answer_address the board answers with its own address.
        KeyCase{"AddressHex", "address = 0xC800",
                [](StandinConfig *c) { c->address = c->answerAddress = 0xC800; }},
        KeyCase{"AddressUpperCaseHex", "address = 0XcD00",
                [](StandinConfig *c) { c->address = c->answerAddress = 0xCD00; }},
        KeyCase{"AddressDecimal", "address = 800", [](StandinConfig *c) { c->address = c->answerAddress = 800; }},
        KeyCase{"AddressLeadingZerosAreDecimal", "address = 0300",
                [](StandinConfig *c) { c->address = c->answerAddress = 300; }},
        KeyCase{"AddressHighest", "address = 0xFFFF",
                [](StandinConfig *c) { c->address = c->answerAddress = 0xFFFF; }},
        KeyCase{"AnswerAddress", "answer_address = 0x310", [](StandinConfig *c) { c->answerAddress = 0x310; }},
        KeyCase{"AnswerAddressBeforeAddress", "answer_address = 0x310\naddress = 0xC800",
                [](StandinConfig *c) {
                    c->address = 0xC800;
                    c->answerAddress = 0x310;
                }},
        KeyCase{"AnswerAddressZero", "address = 0x200\nanswer_address = 0",
                [](StandinConfig *c) {
                    c->address = 0x200;
                    c->answerAddress = 0;
                }},
        KeyCase{"AnswerFromSecondQuery", "answer_from_query = 2", [](StandinConfig *c) { c->answerFromQuery = 2; }},
        KeyCase{"AnswerFromQueryHighest", "answer_from_query = 65535",
                [](StandinConfig *c) { c->answerFromQuery = 65535; }},
        KeyCase{"FenloIdCharacter", "fenlo_id = Q", [](StandinConfig *c) { c->fenloId = 'Q'; }},
        KeyCase{"FenloIdCharacterKeepsItsCase", "fenlo_id = p", [](StandinConfig *c) { c->fenloId = 'p'; }},
        KeyCase{"FenloIdHex", "fenlo_id = 0x41", [](StandinConfig *c) { c->fenloId = 'A'; }},
        KeyCase{"FenloIdDecimal", "fenlo_id = 81", [](StandinConfig *c) { c->fenloId = 81; }},
        KeyCase{"FenloIdLoneDigitIsANumber", "fenlo_id = 7", [](StandinConfig *c) { c->fenloId = 7; }},
        KeyCase{"FenloIdHighest", "fenlo_id = 255", [](StandinConfig *c) { c->fenloId = 255; }},
        KeyCase{"FenloSignatureCharacters", "fenlo_signature = X R Y",
                [](StandinConfig *c) {
                    c->fenloSignature[0] = 'X';
                    c->fenloSignature[1] = 'R';
                    c->fenloSignature[2] = 'Y';
                }},
        KeyCase{"FenloSignatureMixedWithTabs", "fenlo_signature = 0x58\t82   y",
                [](StandinConfig *c) {
                    c->fenloSignature[0] = 'X';
                    c->fenloSignature[1] = 'R';
                    c->fenloSignature[2] = 'y';
                }},
        KeyCase{"TimeBaseUtc", "time_base = UTC", [](StandinConfig *c) { c->useUtc = 1; }},
        KeyCase{"TimeBaseLocalAfterUtc", "time_base = utc\ntime_base = Local", [](StandinConfig *) {}},
        KeyCase{"OffsetPositive", "offset_ms = 1500", [](StandinConfig *c) { c->offsetMs = 1500; }},
        KeyCase{"OffsetNegative", "offset_ms = -250", [](StandinConfig *c) { c->offsetMs = -250; }},
        KeyCase{"OffsetPlusSign", "offset_ms = +20", [](StandinConfig *c) { c->offsetMs = 20; }},
        KeyCase{"OffsetNegativeHex", "offset_ms = -0x10", [](StandinConfig *c) { c->offsetMs = -16; }},
        KeyCase{"OffsetOneDayAhead", "offset_ms = 86400000", [](StandinConfig *c) { c->offsetMs = 86400000; }},
        KeyCase{"OffsetOneDayBehind", "offset_ms = -86400000", [](StandinConfig *c) { c->offsetMs = -86400000; }},
        KeyCase{"FrameRate30", "frame_rate = 30", [](StandinConfig *c) { c->frameRate = 30; }},
        KeyCase{"FrameRate25After30", "frame_rate = 30\nframe_rate = 25", [](StandinConfig *) {}},
        KeyCase{"OpenFailsYes", "open_fails = yes", [](StandinConfig *c) { c->openFails = 1; }},
        KeyCase{"OpenFailsTrueUpperCase", "open_fails = TRUE", [](StandinConfig *c) { c->openFails = 1; }},
        KeyCase{"OpenFailsOne", "open_fails = 1", [](StandinConfig *c) { c->openFails = 1; }},
        KeyCase{"OpenFailsNoAfterYes", "open_fails = yes\nopen_fails = No", [](StandinConfig *) {}},
        KeyCase{"OpenFailsFalseAfterYes", "open_fails = yes\nopen_fails = false", [](StandinConfig *) {}},
        KeyCase{"OpenFailsZeroAfterYes", "open_fails = yes\nopen_fails = 0", [](StandinConfig *) {}},
        KeyCase{"ReadFailPercent", "read_fail_percent = 7", [](StandinConfig *c) { c->readFailPercent = 7; }},
        KeyCase{"ReadFailPercentAll", "read_fail_percent = 100", [](StandinConfig *c) { c->readFailPercent = 100; }},
        KeyCase{"TornReadPercent", "torn_read_percent = 35", [](StandinConfig *c) { c->tornReadPercent = 35; }},
        KeyCase{"FrozenAfterReads", "frozen_after_reads = 400", [](StandinConfig *c) { c->frozenAfterReads = 400; }},
        KeyCase{"FrozenAfterReadsHighest", "frozen_after_reads = 4294967295",
                [](StandinConfig *c) { c->frozenAfterReads = 4294967295u; }},
        KeyCase{"SilentStretch", "silent_after_reads = 100\nsilent_for_reads = 0x20",
                [](StandinConfig *c) {
                    c->silentAfterReads = 100;
                    c->silentForReads = 32;
                }},
        KeyCase{"SilentStretchRecurring", "silent_after_reads = 100\nsilent_for_reads = 20\nsilent_every_reads = 0x400",
                [](StandinConfig *c) {
                    c->silentAfterReads = 100;
                    c->silentForReads = 20;
                    c->silentEveryReads = 1024;
                }},
        KeyCase{"SilentEveryReadsHighest", "silent_every_reads = 4294967295",
                [](StandinConfig *c) { c->silentEveryReads = 4294967295u; }},
        KeyCase{"Log", "log = standin.log", [](StandinConfig *c) { std::strcpy(c->logName, "standin.log"); }},
        KeyCase{"LogKeepsCaseAndInnerBlanks", "log = My Calls.LOG",
                [](StandinConfig *c) { std::strcpy(c->logName, "My Calls.LOG"); }},
        KeyCase{"LogNoneAfterAName", "log = calls.log\nlog = NONE", [](StandinConfig *) {}},
        KeyCase{"SampleEveryReads", "sample_every_reads = 1000", [](StandinConfig *c) { c->sampleEveryReads = 1000; }},
        KeyCase{"SeedZero", "seed = 0", [](StandinConfig *c) { c->seed = 0; }},
        KeyCase{"SeedHighest", "seed = 0xFFFFFFFF", [](StandinConfig *c) { c->seed = 0xFFFFFFFFu; }},
        KeyCase{"KeysIgnoreCase", "BOARD = brq\nOffset_MS = 5",
                [](StandinConfig *c) {
                    c->family = STANDIN_FAMILY_BRQ;
                    c->offsetMs = 5;
                }},
        KeyCase{"NoBlanksAroundTheEqualsSign", "board=brq", [](StandinConfig *c) { c->family = STANDIN_FAMILY_BRQ; }},
        KeyCase{"TabsAndBlanksAround", "  \tboard\t =\t brq \t ",
                [](StandinConfig *c) { c->family = STANDIN_FAMILY_BRQ; }},
        KeyCase{"TrailingComment", "board = brq   # the BRQ one",
                [](StandinConfig *c) { c->family = STANDIN_FAMILY_BRQ; }},
        KeyCase{"CarriageReturnLineEnds", "board = brq\r\naddress = 0x200\r\n",
                [](StandinConfig *c) {
                    c->family = STANDIN_FAMILY_BRQ;
                    c->address = c->answerAddress = 0x200;
                }},
        KeyCase{"LastLineWithoutLineEnd", "board = fenlo\naddress = 0x220",
                [](StandinConfig *c) {
                    c->family = STANDIN_FAMILY_FENLO;
                    c->address = c->answerAddress = 0x220;
                }},
        KeyCase{"ByteOrderMarkOfNotepad", "\xEF\xBB\xBF" "board = brq",
                [](StandinConfig *c) { c->family = STANDIN_FAMILY_BRQ; }}),
    [](const ::testing::TestParamInfo<KeyCase> &info) { return info.param.name; });

// One line that is not understood; the record stays at the defaults.
struct RejectCase {
    const char *name;
    const char *text;
    int line;
};

void PrintTo(const RejectCase &c, std::ostream *os) { *os << c.name; }

class RejectTable : public ::testing::TestWithParam<RejectCase> {};

TEST_P(RejectTable, RejectsTheLineAndKeepsTheDefaults)
{
    const Parsed parsed = Parse(GetParam().text);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    EXPECT_EQ(parsed.report.rejectedLines, 1);
    EXPECT_EQ(parsed.report.firstRejectedLine, GetParam().line);
    EXPECT_EQ(parsed.report.unknownKeys, 0);
}

INSTANTIATE_TEST_SUITE_P(
    MalformedLines, RejectTable,
    ::testing::Values(
        RejectCase{"NoEqualsSign", "board brq", 1}, RejectCase{"NoKey", "= brq", 1},
        RejectCase{"NoValue", "board =", 1}, RejectCase{"ValueIsAllComment", "board = # brq", 1},
        RejectCase{"UnknownBoard", "board = XYZ", 1}, RejectCase{"BoardWithTail", "board = brq2", 1},
        RejectCase{"AddressBeyondSixteenBits", "address = 0x10000", 1},
        RejectCase{"AddressBeyondSixteenBitsDecimal", "address = 65536", 1},
        RejectCase{"AddressNegative", "address = -1", 1}, RejectCase{"AddressHexWithoutDigits", "address = 0x", 1},
        RejectCase{"AddressWithSuffix", "address = 300h", 1}, RejectCase{"AddressTwoNumbers", "address = 300 400", 1},
        RejectCase{"AddressBadHexDigit", "address = 0x30G", 1},
        RejectCase{"AddressOfManyDigits", "address = 99999999999999999999999999999999", 1},
        RejectCase{"AnswerAddressBeyondSixteenBits", "answer_address = 0x1FFFF", 1},
        RejectCase{"AnswerFromQueryZero", "answer_from_query = 0", 1},
        RejectCase{"AnswerFromQueryTooHigh", "answer_from_query = 65536", 1},
        RejectCase{"FenloIdTwoCharacters", "fenlo_id = PQ", 1},
        RejectCase{"FenloIdBeyondAByte", "fenlo_id = 256", 1},
        RejectCase{"FenloSignatureTwoBytes", "fenlo_signature = X R", 1},
        RejectCase{"FenloSignatureFourBytes", "fenlo_signature = X R Y Z", 1},
        RejectCase{"FenloSignatureBadByte", "fenlo_signature = X RR Y", 1},
        RejectCase{"TimeBaseUnknown", "time_base = gmt", 1},
        RejectCase{"OffsetBeyondADay", "offset_ms = 86400001", 1},
        RejectCase{"OffsetBeyondADayBehind", "offset_ms = -86400001", 1},
        RejectCase{"OffsetFraction", "offset_ms = 1.5", 1}, RejectCase{"OffsetTwoSigns", "offset_ms = --5", 1},
        RejectCase{"OffsetSignOnly", "offset_ms = +", 1},
        RejectCase{"OffsetOfManyDigits", "offset_ms = -99999999999999999999", 1},
        RejectCase{"FrameRate24", "frame_rate = 24", 1}, RejectCase{"FrameRate50", "frame_rate = 50", 1},
        RejectCase{"OpenFailsMaybe", "open_fails = maybe", 1},
        RejectCase{"ReadFailPercentOver100", "read_fail_percent = 101", 1},
        RejectCase{"TornReadPercentNegative", "torn_read_percent = -5", 1},
        RejectCase{"FrozenAfterReadsBeyond32Bits", "frozen_after_reads = 4294967296", 1},
        RejectCase{"SilentForReadsNegative", "silent_for_reads = -1", 1},
        RejectCase{"SilentEveryReadsBeyond32Bits", "silent_every_reads = 4294967296", 1},
        RejectCase{"SampleEveryReadsWord", "sample_every_reads = often", 1},
        RejectCase{"SeedNegative", "seed = -1", 1}, RejectCase{"LogInParentFolder", "log = ..\\calls.log", 1},
        RejectCase{"LogWithDrive", "log = C:\\calls.log", 1}, RejectCase{"LogInSubfolder", "log = logs/calls.log", 1},
        RejectCase{"LogWithWildcard", "log = calls*.log", 1}, RejectCase{"LogEndingInADot", "log = calls.", 1},
        RejectCase{"LogWithQuotes", "log = \"calls.log\"", 1},
        RejectCase{"LineNumberCountsBlankLines", "\n# comment\n\r\nboard brq\n", 4}),
    [](const ::testing::TestParamInfo<RejectCase> &info) { return info.param.name; });

TEST(StandinConfigParse, LogNameOfTheLargestLengthIsTaken)
{
    const std::string name = std::string(STANDIN_LOG_NAME_MAX - 4, 'a') + ".log";
    const Parsed parsed = Parse("log = " + name);
    EXPECT_EQ(parsed.report.rejectedLines, 0);
    EXPECT_EQ(std::string(parsed.config.logName), name);
}

TEST(StandinConfigParse, LogNameOneLongerIsRejected)
{
    const Parsed parsed = Parse("log = calls.log\nlog = " + std::string(STANDIN_LOG_NAME_MAX - 3, 'a') + ".log");
    EXPECT_EQ(parsed.report.rejectedLines, 1);
    EXPECT_STREQ(parsed.config.logName, "calls.log");
}

TEST(StandinConfigParse, RejectedLineKeepsTheValueOfAnEarlierLine)
{
    const Parsed parsed = Parse("board = brq\naddress = 0xC800\nboard = xyz\naddress = 0x1C800\n");
    EXPECT_EQ(parsed.config.family, STANDIN_FAMILY_BRQ);
    EXPECT_EQ(parsed.config.address, 0xC800);
    EXPECT_EQ(parsed.report.rejectedLines, 2);
    EXPECT_EQ(parsed.report.firstRejectedLine, 3);
}

TEST(StandinConfigParse, UnknownKeysAreCountedAndIgnored)
{
    const Parsed parsed = Parse("board = brq\ncolour = blue\nboard: tav\nadress = 0x200\nframe_rate = 29\n");
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.config.family, STANDIN_FAMILY_BRQ);
    EXPECT_EQ(parsed.config.address, 0x300);
    EXPECT_EQ(parsed.report.unknownKeys, 2);
    EXPECT_EQ(parsed.report.firstUnknownLine, 2);
    EXPECT_EQ(parsed.report.rejectedLines, 2);
    EXPECT_EQ(parsed.report.firstRejectedLine, 3);
}

// The largest text taken: STANDIN_CONFIG_MAX_BYTES bytes ending in "board = brq".
std::string TextOfLength(std::size_t length)
{
    const std::string setting = "\nboard = brq";
    return "#" + std::string(length - 1 - setting.size(), '-') + setting;
}

TEST(StandinConfigParse, TextOfTheLargestSizeIsTaken)
{
    const std::string text = TextOfLength(STANDIN_CONFIG_MAX_BYTES);
    ASSERT_EQ(text.size(), STANDIN_CONFIG_MAX_BYTES);
    const Parsed parsed = Parse(text);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(parsed.config.family, STANDIN_FAMILY_BRQ);
}

TEST(StandinConfigParse, TextLongerThanTheLargestSizeIsRefusedAsAWhole)
{
    const Parsed parsed = Parse(TextOfLength(STANDIN_CONFIG_MAX_BYTES + 1));
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    ExpectCleanReport(parsed.report);
}

TEST(StandinConfigParse, TextWithAZeroByteIsRefusedAsAWhole)
{
    const Parsed parsed = Parse(std::string("board = brq\n\0address = 0x200\n", 29));
    EXPECT_EQ(parsed.result, 0);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
}

TEST(StandinConfigParse, BinaryTextWithoutZeroBytesLeavesTheDefaults)
{
    const Parsed parsed = Parse("\xFF\xFE\x01\x02=\x80\x81\n\x7F=\x90\n\xC3\xA9=\xC3\xA9");
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    EXPECT_EQ(parsed.report.unknownKeys, 3);
}

TEST(StandinConfigParse, UnterminatedTextIsReadOnlyToItsLength)
{
    // "board = brqX" with the length cut before the X: the value is "brq".
    const char text[] = {'b', 'o', 'a', 'r', 'd', '=', 'b', 'r', 'q', 'X'};
    StandinConfig config;
    StandinParseReport report;
    EXPECT_EQ(StandinParseConfig(text, 9, &config, &report), 1);
    EXPECT_EQ(config.family, STANDIN_FAMILY_BRQ);
}

// Small deterministic generator for the random texts below.
std::uint32_t NextTestRandom(std::uint32_t *state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

TEST(StandinConfigParse, RandomTextsAlwaysGiveAUsableRecord)
{
    static const char kAlphabet[] = "=#\n\r \t0x9aFfP-+.brdqtavlogfenlo_idsetrm\\/:\xEF\xBB\xBF\x80";
    const char *const kKeys[] = {"board", "address", "answer_address", "fenlo_signature", "offset_ms",
                                 "frame_rate", "log", "read_fail_percent", "seed"};
    std::uint32_t state = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::uint32_t length = NextTestRandom(&state) % 200;
        while (text.size() < length) {
            if (NextTestRandom(&state) % 8 == 0)
                text += kKeys[NextTestRandom(&state) % (sizeof kKeys / sizeof kKeys[0])];
            else
                text += kAlphabet[NextTestRandom(&state) % (sizeof kAlphabet - 1)];
        }
        const Parsed parsed = Parse(text);
        ASSERT_EQ(parsed.result, 1) << text;
        const StandinConfig &c = parsed.config;
        ASSERT_TRUE(c.family >= STANDIN_FAMILY_NONE && c.family <= STANDIN_FAMILY_FENLO) << text;
        ASSERT_TRUE(c.frameRate == 25 || c.frameRate == 30) << text;
        ASSERT_TRUE(c.useUtc == 0 || c.useUtc == 1) << text;
        ASSERT_TRUE(c.openFails == 0 || c.openFails == 1) << text;
        ASSERT_TRUE(c.readFailPercent >= 0 && c.readFailPercent <= 100) << text;
        ASSERT_TRUE(c.tornReadPercent >= 0 && c.tornReadPercent <= 100) << text;
        ASSERT_TRUE(c.offsetMs >= -86400000 && c.offsetMs <= 86400000) << text;
        ASSERT_GE(c.answerFromQuery, 1u) << text;
        ASSERT_LE(std::strlen(c.logName), STANDIN_LOG_NAME_MAX) << text;
        ASSERT_EQ(std::strpbrk(c.logName, "\\/:*?\"<>|\r\n\t"), nullptr) << text;
        ASSERT_GE(parsed.report.rejectedLines, 0);
    }
}

// The sample shipped beside the library names every key and leaves each at its default.
// answer_address is commented out there, as its default follows address.
TEST(StandinConfigSample, SetsEveryKeyToItsDefault)
{
    std::string path = __FILE__;
    path = path.substr(0, path.rfind("tests/unit/")) + "reader/standin/ZYN_NTTC.ini";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file.good()) << path;
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const Parsed parsed = Parse(text);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_EQ(Describe(parsed.config), Describe(Defaults()));
    ExpectCleanReport(parsed.report);
    for (const char *key : {"board", "address", "answer_address", "answer_from_query", "fenlo_id", "fenlo_signature",
                            "time_base", "offset_ms", "frame_rate", "open_fails", "read_fail_percent",
                            "torn_read_percent", "frozen_after_reads", "silent_after_reads", "silent_for_reads",
                            "silent_every_reads", "log",
                            "sample_every_reads", "seed"}) {
        const bool set = text.find(std::string("\n") + key + " =") != std::string::npos;
        const bool commented = text.find(std::string("\n# ") + key + " =") != std::string::npos;
        EXPECT_TRUE(set || commented) << key;
    }
}

}  // namespace
