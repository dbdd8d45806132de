// What the stand-in library's simulated board answers: words, torn words, faults,
// identification and FENLO registers.
#include "reader/standin/standin_words.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

StandinConfig Defaults()
{
    StandinConfig config;
    StandinConfigDefaults(&config);
    return config;
}

// A clock reading, an offset and a frame rate, and the word the board shows for them.
struct WordCase {
    const char *name;
    int hour, minute, second, millisecond;
    std::int32_t offsetMs;
    int frameRate;
    std::uint32_t word;
};

void PrintTo(const WordCase &c, std::ostream *os) { *os << c.name; }

class WordTable : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordTable, BuildsTheWordFromClockAndOffset)
{
    const WordCase &c = GetParam();
    const std::int64_t msOfDay = StandinMsOfDay(c.hour, c.minute, c.second, c.millisecond, c.offsetMs);
    EXPECT_EQ(StandinTimeWord(msOfDay, c.frameRate), c.word) << std::hex << StandinTimeWord(msOfDay, c.frameRate);
}

INSTANTIATE_TEST_SUITE_P(
    ClockReadings, WordTable,
    ::testing::Values(
        WordCase{"Frame12At25", 12, 34, 56, 480, 0, 25, 0x12345612},
        WordCase{"Frame12At30", 12, 34, 56, 400, 0, 30, 0x12345612},
        WordCase{"Midnight", 0, 0, 0, 0, 0, 25, 0x00000000},
        WordCase{"LastMsOfTheDayAt25", 23, 59, 59, 999, 0, 25, 0x23595924},
        WordCase{"LastMsOfTheDayAt30", 23, 59, 59, 999, 0, 30, 0x23595929},
        // Frame boundaries at 25 frames per second: 40 ms a frame.
        WordCase{"At25Ms39IsFrame0", 10, 0, 0, 39, 0, 25, 0x10000000},
        WordCase{"At25Ms40IsFrame1", 10, 0, 0, 40, 0, 25, 0x10000001},
        WordCase{"At25Ms399IsFrame9", 10, 0, 0, 399, 0, 25, 0x10000009},
        WordCase{"At25Ms400IsFrame10", 10, 0, 0, 400, 0, 25, 0x10000010},
        WordCase{"At25Ms799IsFrame19", 10, 0, 0, 799, 0, 25, 0x10000019},
        WordCase{"At25Ms800IsFrame20", 10, 0, 0, 800, 0, 25, 0x10000020},
        // At 30 frames per second a frame lasts 33 1/3 ms.
        WordCase{"At30Ms33IsFrame0", 10, 0, 0, 33, 0, 30, 0x10000000},
        WordCase{"At30Ms34IsFrame1", 10, 0, 0, 34, 0, 30, 0x10000001},
        WordCase{"At30Ms333IsFrame9", 10, 0, 0, 333, 0, 30, 0x10000009},
        WordCase{"At30Ms334IsFrame10", 10, 0, 0, 334, 0, 30, 0x10000010},
        WordCase{"At30Ms666IsFrame19", 10, 0, 0, 666, 0, 30, 0x10000019},
        WordCase{"At30Ms667IsFrame20", 10, 0, 0, 667, 0, 30, 0x10000020},
        // Offsets, carrying into seconds, minutes, hours and across midnight.
        WordCase{"OffsetCarriesIntoTheHour", 9, 59, 59, 500, 600, 25, 0x10000002},
        WordCase{"NegativeOffsetBorrowsFromTheMinute", 9, 30, 0, 100, -200, 25, 0x09295922},
        WordCase{"AheadAcrossMidnight", 23, 59, 59, 900, 200, 25, 0x00000002},
        WordCase{"BehindAcrossMidnight", 0, 0, 0, 100, -200, 25, 0x23595922},
        WordCase{"ThreeSecondsBehindJustAfterMidnight", 0, 0, 1, 0, -3000, 30, 0x23595800},
        WordCase{"OneHourAheadLateInTheDay", 23, 30, 0, 0, 3600000, 25, 0x00300000},
        WordCase{"OneDayAheadIsTheSameTime", 12, 0, 0, 40, 86400000, 25, 0x12000001},
        WordCase{"OneDayBehindIsTheSameTime", 0, 0, 1, 0, -86400000, 25, 0x00000100},
        WordCase{"OneDayBehindFromMidnight", 0, 0, 0, 0, -86400000, 25, 0x00000000}),
    [](const ::testing::TestParamInfo<WordCase> &info) { return info.param.name; });

TEST(StandinMsOfDay, WrapsBothWaysAroundMidnight)
{
    EXPECT_EQ(StandinMsOfDay(23, 59, 59, 999, 1), 0);
    EXPECT_EQ(StandinMsOfDay(0, 0, 0, 0, -1), STANDIN_MS_PER_DAY - 1);
    EXPECT_EQ(StandinMsOfDay(12, 0, 0, 0, 0), 43200000);
}

TEST(StandinTimeWord, TimesOutsideTheDayWrapIntoIt)
{
    EXPECT_EQ(StandinTimeWord(-1, 25), 0x23595924u);
    EXPECT_EQ(StandinTimeWord(STANDIN_MS_PER_DAY, 25), 0x00000000u);
    EXPECT_EQ(StandinTimeWord(STANDIN_MS_PER_DAY + 1000, 30), 0x00000100u);
}

TEST(StandinBcd, PacksTwoDecimalDigits)
{
    EXPECT_EQ(StandinBcd(0), 0x00);
    EXPECT_EQ(StandinBcd(9), 0x09);
    EXPECT_EQ(StandinBcd(10), 0x10);
    EXPECT_EQ(StandinBcd(23), 0x23);
    EXPECT_EQ(StandinBcd(59), 0x59);
    EXPECT_EQ(StandinBcd(99), 0x99);
}

// What the program relies on: within every second, byte 0 has bit 0x10 (frames 10 to 19)
// and later is zero (frame 0 of the next second). Checked at each ms of a second.
struct FrameByteCase {
    const char *name;
    int frameRate;
    int bit10FromMs;   // first ms with bit 0x10
    int bit10UntilMs;  // first ms after them without it
    int zeroUntilMs;   // byte 0 is zero before this ms
};

void PrintTo(const FrameByteCase &c, std::ostream *os) { *os << c.name; }

class FrameByteTable : public ::testing::TestWithParam<FrameByteCase> {};

TEST_P(FrameByteTable, HasBit10AndZeroWhereTheProgramExpectsThem)
{
    const FrameByteCase &c = GetParam();
    for (int ms = 0; ms < 1000; ++ms) {
        const std::uint8_t frameByte = StandinTimeWord(7 * 3600000 + 15 * 1000 + ms, c.frameRate) & 0xFF;
        EXPECT_EQ((frameByte & 0x10) != 0, ms >= c.bit10FromMs && ms < c.bit10UntilMs) << "ms " << ms;
        EXPECT_EQ(frameByte == 0, ms < c.zeroUntilMs) << "ms " << ms;
        EXPECT_LE(frameByte & 0x0F, 9) << "ms " << ms;
    }
}

INSTANTIATE_TEST_SUITE_P(FrameRates, FrameByteTable,
                         ::testing::Values(FrameByteCase{"At25", 25, 400, 800, 40},
                                           FrameByteCase{"At30", 30, 334, 667, 34}),
                         [](const ::testing::TestParamInfo<FrameByteCase> &info) { return info.param.name; });

struct TornCase {
    const char *name;
    std::int64_t msOfDay;
    int frameRate;
    std::uint32_t word;
};

void PrintTo(const TornCase &c, std::ostream *os) { *os << c.name; }

class TornTable : public ::testing::TestWithParam<TornCase> {};

TEST_P(TornTable, TakesTheSecondsOfTheNextSecond)
{
    EXPECT_EQ(StandinTornWord(GetParam().msOfDay, GetParam().frameRate), GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, TornTable,
    ::testing::Values(TornCase{"MidMinute", (12 * 60 + 34) * 60000LL + 56480, 25, 0x12345712},
                      TornCase{"SecondNineIsFollowedByTen", (12 * 60 + 34) * 60000LL + 9000, 30, 0x12341000},
                      // The seconds byte wraps with no carry: only the seconds are torn.
                      TornCase{"EndOfMinuteWrapsSecondsOnly", (12 * 60 + 34) * 60000LL + 59999, 30, 0x12340029},
                      TornCase{"EndOfDay", STANDIN_MS_PER_DAY - 1, 25, 0x23590024}),
    [](const ::testing::TestParamInfo<TornCase> &info) { return info.param.name; });

TEST(StandinTornWord, DiffersFromTheLiveWordInTheSecondsByteOnlyAllDayLong)
{
    for (std::int64_t ms = 0; ms < STANDIN_MS_PER_DAY; ms += 997) {
        const std::uint32_t live = StandinTimeWord(ms, 25);
        const std::uint32_t torn = StandinTornWord(ms, 25);
        ASSERT_NE(live, torn) << ms;
        ASSERT_EQ(live & 0xFFFF00FFu, torn & 0xFFFF00FFu) << ms;
    }
}

// SplitMix64's published first outputs (the upper 32 bits), so the faults of a seed are the
// same from every compiler.
TEST(StandinPrng, GivesTheSplitMix64Sequence)
{
    StandinPrng prng;
    StandinSeedPrng(&prng, 0);
    EXPECT_EQ(StandinNextRandom(&prng), 0xE220A839u);
    EXPECT_EQ(StandinNextRandom(&prng), 0x6E789E6Au);
    EXPECT_EQ(StandinNextRandom(&prng), 0x06C45D18u);
    StandinSeedPrng(&prng, 1);
    EXPECT_EQ(StandinNextRandom(&prng), 0x910A2DECu);
    EXPECT_EQ(StandinNextRandom(&prng), 0xBEEB8DA1u);
}

TEST(StandinPrng, PercentDrawsCoverZeroTo99Evenly)
{
    StandinPrng prng;
    StandinSeedPrng(&prng, 7);
    std::vector<int> counts(100, 0);
    for (int i = 0; i < 100000; ++i) {
        const int draw = StandinDrawPercent(&prng);
        ASSERT_GE(draw, 0);
        ASSERT_LT(draw, 100);
        ++counts[draw];
    }
    for (int value = 0; value < 100; ++value) {
        EXPECT_GT(counts[value], 850) << value;
        EXPECT_LT(counts[value], 1150) << value;
    }
}

// The outcomes of reads 1..count under a configuration and a seed.
std::vector<StandinReadOutcome> Outcomes(const StandinConfig &config, std::uint64_t count)
{
    StandinPrng prng;
    StandinSeedPrng(&prng, config.seed);
    std::vector<StandinReadOutcome> outcomes;
    for (std::uint64_t read = 1; read <= count; ++read)
        outcomes.push_back(StandinDecideRead(&config, read, &prng));
    return outcomes;
}

struct Shares {
    int live, torn, frozen, failed, silent;
};

Shares CountOutcomes(const std::vector<StandinReadOutcome> &outcomes)
{
    Shares shares{0, 0, 0, 0, 0};
    for (StandinReadOutcome outcome : outcomes) {
        switch (outcome) {
        case STANDIN_READ_LIVE:
            ++shares.live;
            break;
        case STANDIN_READ_TORN:
            ++shares.torn;
            break;
        case STANDIN_READ_FROZEN:
            ++shares.frozen;
            break;
        case STANDIN_READ_FAILED:
            ++shares.failed;
            break;
        case STANDIN_READ_SILENT:
            ++shares.silent;
            break;
        }
    }
    return shares;
}

// Percentages configured, and the shares of 100000 seeded reads, each within 0.5 points.
struct ShareCase {
    const char *name;
    int readFailPercent;
    int tornReadPercent;
    double failedShare;
    double tornShare;
};

void PrintTo(const ShareCase &c, std::ostream *os) { *os << c.name; }

class ShareTable : public ::testing::TestWithParam<ShareCase> {};

TEST_P(ShareTable, FaultsTakeTheirConfiguredShare)
{
    StandinConfig config = Defaults();
    config.readFailPercent = GetParam().readFailPercent;
    config.tornReadPercent = GetParam().tornReadPercent;
    config.seed = 2024;
    const int reads = 100000;
    const Shares shares = CountOutcomes(Outcomes(config, reads));
    EXPECT_NEAR(shares.failed * 100.0 / reads, GetParam().failedShare, 0.5);
    EXPECT_NEAR(shares.torn * 100.0 / reads, GetParam().tornShare, 0.5);
    EXPECT_EQ(shares.live + shares.failed + shares.torn, reads);
}

INSTANTIATE_TEST_SUITE_P(Percentages, ShareTable,
                         ::testing::Values(ShareCase{"TenFailTwentyTorn", 10, 20, 10, 20},
                                           ShareCase{"OneFail", 1, 0, 1, 0}, ShareCase{"AllFail", 100, 0, 100, 0},
                                           ShareCase{"AllTorn", 0, 100, 0, 100},
                                           // Over 100 together: failures first, torn reads the rest.
                                           ShareCase{"SixtyAndSixty", 60, 60, 60, 40},
                                           ShareCase{"AllFailAndSomeTorn", 100, 30, 100, 0}),
                         [](const ::testing::TestParamInfo<ShareCase> &info) { return info.param.name; });

TEST(StandinDecideRead, NoFaultsConfiguredGivesOnlyLiveReads)
{
    EXPECT_EQ(CountOutcomes(Outcomes(Defaults(), 10000)).live, 10000);
}

TEST(StandinDecideRead, TheSameSeedGivesTheSameFaultsAndAnotherSeedOthers)
{
    StandinConfig config = Defaults();
    config.readFailPercent = 20;
    config.tornReadPercent = 20;
    config.seed = 99;
    const std::vector<StandinReadOutcome> first = Outcomes(config, 1000);
    EXPECT_EQ(Outcomes(config, 1000), first);
    config.seed = 100;
    EXPECT_NE(Outcomes(config, 1000), first);
}

TEST(StandinDecideRead, SilentStretchFailsExactlyItsReads)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 5;
    config.silentForReads = 3;
    const std::vector<StandinReadOutcome> outcomes = Outcomes(config, 10);
    for (std::uint64_t read = 1; read <= 10; ++read) {
        const bool silent = read >= 6 && read <= 8;
        EXPECT_EQ(outcomes[read - 1], silent ? STANDIN_READ_SILENT : STANDIN_READ_LIVE) << "read " << read;
    }
}

TEST(StandinDecideRead, SilentFromTheFirstReadWhenSilentAfterIsZero)
{
    StandinConfig config = Defaults();
    config.silentForReads = 2;
    EXPECT_THAT(Outcomes(config, 3),
                ::testing::ElementsAre(STANDIN_READ_SILENT, STANDIN_READ_SILENT, STANDIN_READ_LIVE));
}

TEST(StandinDecideRead, NoSilenceWhenSilentForIsZero)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 2;
    EXPECT_EQ(CountOutcomes(Outcomes(config, 10)).live, 10);
}

TEST(StandinDecideRead, SilentStretchAtTheEndOfThirtyTwoBitsDoesNotOverflow)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 0xFFFFFFFFu;
    config.silentForReads = 0xFFFFFFFFu;
    StandinPrng prng;
    StandinSeedPrng(&prng, 1);
    EXPECT_EQ(StandinDecideRead(&config, 0xFFFFFFFFull, &prng), STANDIN_READ_LIVE);
    EXPECT_EQ(StandinDecideRead(&config, 0x100000000ull, &prng), STANDIN_READ_SILENT);
    EXPECT_EQ(StandinDecideRead(&config, 0x1FFFFFFFEull, &prng), STANDIN_READ_SILENT);
    EXPECT_EQ(StandinDecideRead(&config, 0x1FFFFFFFFull, &prng), STANDIN_READ_LIVE);
}

TEST(StandinDecideRead, RecurringSilentStretchComesBackEveryPeriod)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 5;
    config.silentForReads = 3;
    config.silentEveryReads = 10;
    const std::vector<StandinReadOutcome> outcomes = Outcomes(config, 40);
    for (std::uint64_t read = 1; read <= 40; ++read) {
        // Reads 6-8, 16-18, 26-28, 36-38.
        const bool silent = read >= 6 && (read - 6) % 10 < 3;
        EXPECT_EQ(outcomes[read - 1], silent ? STANDIN_READ_SILENT : STANDIN_READ_LIVE) << "read " << read;
    }
}

TEST(StandinDecideRead, RecurringFromTheFirstReadWhenSilentAfterIsZero)
{
    StandinConfig config = Defaults();
    config.silentForReads = 1;
    config.silentEveryReads = 3;
    EXPECT_THAT(Outcomes(config, 7), ::testing::ElementsAre(STANDIN_READ_SILENT, STANDIN_READ_LIVE, STANDIN_READ_LIVE,
                                                             STANDIN_READ_SILENT, STANDIN_READ_LIVE, STANDIN_READ_LIVE,
                                                             STANDIN_READ_SILENT));
}

TEST(StandinDecideRead, PeriodNoLongerThanTheStretchLeavesTheBoardSilent)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 4;
    config.silentForReads = 5;
    for (std::uint32_t every : {1u, 4u, 5u}) {
        config.silentEveryReads = every;
        const Shares shares = CountOutcomes(Outcomes(config, 100));
        EXPECT_EQ(shares.live, 4) << "every " << every;
        EXPECT_EQ(shares.silent, 96) << "every " << every;
    }
}

TEST(StandinDecideRead, PeriodWithoutAStretchGivesNoSilence)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 2;
    config.silentEveryReads = 5;
    EXPECT_EQ(CountOutcomes(Outcomes(config, 20)).live, 20);
}

TEST(StandinDecideRead, RecurringStretchesAtTheEndOfThirtyTwoBitsDoNotOverflow)
{
    StandinConfig config = Defaults();
    config.silentAfterReads = 0xFFFFFFFFu;
    config.silentForReads = 2;
    config.silentEveryReads = 0xFFFFFFFFu;
    EXPECT_EQ(StandinInSilentStretch(&config, 0xFFFFFFFFull), 0);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x100000000ull), 1);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x100000001ull), 1);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x100000002ull), 0);
    // The next stretch, 2^32 - 1 reads after the first.
    EXPECT_EQ(StandinInSilentStretch(&config, 0x1FFFFFFFEull), 0);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x1FFFFFFFFull), 1);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x200000000ull), 1);
    EXPECT_EQ(StandinInSilentStretch(&config, 0x200000001ull), 0);
}

TEST(StandinDecideRead, SilenceDoesNotShiftTheRandomFaults)
{
    StandinConfig config = Defaults();
    config.readFailPercent = 30;
    config.tornReadPercent = 30;
    const std::vector<StandinReadOutcome> without = Outcomes(config, 200);
    config.silentAfterReads = 50;
    config.silentForReads = 20;
    const std::vector<StandinReadOutcome> with = Outcomes(config, 200);
    for (std::size_t i = 0; i < with.size(); ++i) {
        if (i >= 50 && i < 70)
            EXPECT_EQ(with[i], STANDIN_READ_SILENT) << i;
        else
            EXPECT_EQ(with[i], without[i]) << i;
    }
}

TEST(StandinDecideRead, FrozenAfterItsReadsAndNeverTorn)
{
    StandinConfig config = Defaults();
    config.frozenAfterReads = 3;
    config.tornReadPercent = 100;
    EXPECT_THAT(Outcomes(config, 6),
                ::testing::ElementsAre(STANDIN_READ_TORN, STANDIN_READ_TORN, STANDIN_READ_TORN, STANDIN_READ_FROZEN,
                                       STANDIN_READ_FROZEN, STANDIN_READ_FROZEN));
}

TEST(StandinDecideRead, FrozenBoardStillFailsItsShare)
{
    StandinConfig config = Defaults();
    config.frozenAfterReads = 1;
    config.readFailPercent = 50;
    const Shares shares = CountOutcomes(Outcomes(config, 20000));
    EXPECT_NEAR(shares.failed / 20000.0, 0.5, 0.02);
    EXPECT_EQ(shares.frozen + shares.failed + shares.live, 20000);
    EXPECT_LE(shares.live, 1);
}

// Where a board answers, and what.
struct IdentifyCase {
    const char *name;
    int family;
    std::uint16_t answerAddress;
    std::uint32_t answerFromQuery;
    std::uint16_t asked;
    std::uint32_t queryNumber;
    int result;
    std::uint16_t addressLeft;
};

void PrintTo(const IdentifyCase &c, std::ostream *os) { *os << c.name; }

class IdentifyTable : public ::testing::TestWithParam<IdentifyCase> {};

TEST_P(IdentifyTable, AnswersOnlyAtTheBoardsAddress)
{
    const IdentifyCase &c = GetParam();
    StandinConfig config = Defaults();
    config.family = c.family;
    config.address = 0xC800;
    config.answerAddress = c.answerAddress;
    config.answerFromQuery = c.answerFromQuery;
    std::uint16_t address = c.asked;
    EXPECT_EQ(StandinIdentifyAnswer(&config, c.asked, c.queryNumber, &address), c.result);
    EXPECT_EQ(address, c.addressLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, IdentifyTable,
    ::testing::Values(IdentifyCase{"TavAtItsAddress", STANDIN_FAMILY_TAV, 0xC800, 1, 0xC800, 1, 1, 0xC800},
                      IdentifyCase{"BrqAtItsAddress", STANDIN_FAMILY_BRQ, 0xC800, 1, 0xC800, 1, 2, 0xC800},
                      IdentifyCase{"FenloAtItsAddress", STANDIN_FAMILY_FENLO, 0xC800, 1, 0xC800, 1, 3, 0xC800},
                      IdentifyCase{"ElsewhereNothing", STANDIN_FAMILY_TAV, 0xC800, 1, 0x300, 1, 0, 0x300},
                      IdentifyCase{"NoBoardNothing", STANDIN_FAMILY_NONE, 0xC800, 1, 0xC800, 1, 0, 0xC800},
                      IdentifyCase{"LeavesTheAnswerAddress", STANDIN_FAMILY_BRQ, 0xC810, 1, 0xC800, 1, 2, 0xC810},
                      IdentifyCase{"NotAtTheAnswerAddress", STANDIN_FAMILY_BRQ, 0xC810, 1, 0xC810, 1, 0, 0xC810},
                      IdentifyCase{"SilentAtTheFirstQueryOfTwo", STANDIN_FAMILY_TAV, 0xC800, 2, 0xC800, 1, 0, 0xC800},
                      IdentifyCase{"AnswersAtTheSecondQuery", STANDIN_FAMILY_TAV, 0xC800, 2, 0xC800, 2, 1, 0xC800},
                      IdentifyCase{"AnswersAfterwards", STANDIN_FAMILY_TAV, 0xC800, 2, 0xC800, 7, 1, 0xC800}),
    [](const ::testing::TestParamInfo<IdentifyCase> &info) { return info.param.name; });

TEST(StandinBoardAt, ReadsAnswerAtTheAddressAndTheAnswerAddressOnly)
{
    StandinConfig config = Defaults();
    config.address = 0x300;
    config.answerAddress = 0x310;
    EXPECT_EQ(StandinBoardAt(&config, 0x300), 1);
    EXPECT_EQ(StandinBoardAt(&config, 0x310), 1);
    EXPECT_EQ(StandinBoardAt(&config, 0x320), 0);
    config.family = STANDIN_FAMILY_NONE;
    EXPECT_EQ(StandinBoardAt(&config, 0x300), 0);
}

struct RegisterCase {
    const char *name;
    int family;
    std::uint16_t address;
    std::uint16_t registerNumber;
    int result;
    std::uint8_t value;
};

void PrintTo(const RegisterCase &c, std::ostream *os) { *os << c.name; }

class RegisterTable : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterTable, FenloRegistersGiveTheConfiguredBytes)
{
    const RegisterCase &c = GetParam();
    StandinConfig config = Defaults();
    config.family = c.family;
    config.address = 0x300;
    config.answerAddress = 0x310;
    config.fenloId = 'Q';
    config.fenloSignature[0] = 'X';
    config.fenloSignature[1] = 'R';
    config.fenloSignature[2] = 'Y';
    std::uint8_t value = 0xEE;
    EXPECT_EQ(StandinRegisterAnswer(&config, c.address, c.registerNumber, &value), c.result);
    EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Registers, RegisterTable,
    ::testing::Values(RegisterCase{"Identification", STANDIN_FAMILY_FENLO, 0x300, 0x3EF, 1, 'Q'},
                      RegisterCase{"FirstSignatureByte", STANDIN_FAMILY_FENLO, 0x300, 0x3E0, 1, 'X'},
                      RegisterCase{"SecondSignatureByte", STANDIN_FAMILY_FENLO, 0x300, 0x3E1, 1, 'R'},
                      RegisterCase{"ThirdSignatureByte", STANDIN_FAMILY_FENLO, 0x300, 0x3E2, 1, 'Y'},
                      RegisterCase{"AtTheAnswerAddress", STANDIN_FAMILY_FENLO, 0x310, 0x3EF, 1, 'Q'},
                      RegisterCase{"RegisterAfterTheSignature", STANDIN_FAMILY_FENLO, 0x300, 0x3E3, 0, 0},
                      RegisterCase{"RegisterBeforeTheSignature", STANDIN_FAMILY_FENLO, 0x300, 0x3DF, 0, 0},
                      RegisterCase{"ControlRegister", STANDIN_FAMILY_FENLO, 0x300, 0x3FF, 0, 0},
                      RegisterCase{"AnotherAddress", STANDIN_FAMILY_FENLO, 0x320, 0x3EF, 0, 0},
                      RegisterCase{"TavBoardHasNone", STANDIN_FAMILY_TAV, 0x300, 0x3EF, 0, 0},
                      RegisterCase{"NoBoard", STANDIN_FAMILY_NONE, 0x300, 0x3E0, 0, 0}),
    [](const ::testing::TestParamInfo<RegisterCase> &info) { return info.param.name; });

}  // namespace
