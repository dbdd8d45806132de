// What the simulated board answers: time-code words built from a time of day, torn words,
// the fault that falls on each read, and the answers to identification and register reads.
//
// Pure code with no platform calls: the Windows glue (standin_library.cpp) reads the clock,
// counts the calls and passes the numbers in, so the host unit tests run all of this as it is.
#pragma once

#include <cstdint>

#include "reader/standin/standin_config.h"

const std::int64_t STANDIN_MS_PER_DAY = 86400000;

// The time of day in ms from the clock's fields plus the board's offset, wrapped into
// [0, STANDIN_MS_PER_DAY) so that an offset may carry it across midnight either way.
std::int64_t StandinMsOfDay(int hour, int minute, int second, int millisecond, std::int32_t offsetMs);

// A value 0..99 as one packed BCD byte (0x00..0x99).
std::uint8_t StandinBcd(int value);

// The time-code word for a time of day in ms: byte 3 hours, byte 2 minutes, byte 1 seconds,
// byte 0 the frame within the second (ms * frameRate / 1000), each in packed BCD.
std::uint32_t StandinTimeWord(std::int64_t msOfDay, int frameRate);

// A word torn between two seconds: the seconds byte of the next second (59 goes to 00, with
// no carry) with the hours, minutes and frame of this one. It always differs from the
// untorn word, as a read caught while the board updates its registers would.
std::uint32_t StandinTornWord(std::int64_t msOfDay, int frameRate);

// A small deterministic generator (SplitMix64), so that a seed gives the same faults on
// every run and every compiler, which the CRT's rand() does not promise.
struct StandinPrng {
    std::uint64_t state;
};

void StandinSeedPrng(StandinPrng *prng, std::uint32_t seed);
std::uint32_t StandinNextRandom(StandinPrng *prng);
// A draw in 0..99; every value as likely as the others to within one part in 10^7.
int StandinDrawPercent(StandinPrng *prng);

enum StandinReadOutcome {
    STANDIN_READ_LIVE,    // the word of the moment; result 1
    STANDIN_READ_TORN,    // a torn word; result 1
    STANDIN_READ_FROZEN,  // the word held since the board froze; result 1
    STANDIN_READ_FAILED,  // a random failure; result 0
    STANDIN_READ_SILENT   // inside the silent stretch; result 0
};

// 1 when the read numbered `readNumber` falls in a silent stretch: the silent_for_reads
// reads after the first silent_after_reads, and with silent_every_reads the same stretch
// again every that many reads (a period no longer than the stretch leaves the board silent
// from then on).
int StandinInSilentStretch(const StandinConfig *config, std::uint64_t readNumber);

// The outcome of the read numbered `readNumber` (1 for the first). Exactly one percent draw
// is taken for every read, whatever the outcome, so the pattern of random faults depends on
// the seed and the read number alone. Order: silent stretch, then random failure, then
// frozen word, then torn word. When read_fail_percent and torn_read_percent add up to more
// than 100, failures take their share first and torn reads the rest.
StandinReadOutcome StandinDecideRead(const StandinConfig *config, std::uint64_t readNumber, StandinPrng *prng);

// 1 when a board answers reads at `address`: its own address or the one it answers with.
int StandinBoardAt(const StandinConfig *config, std::uint16_t address);

// NttcIdentify's result for the query numbered `queryNumber` (1 for the first) at
// `address`: the board's family when it answers there by then, and *answerAddress set to the
// address it answers with; otherwise 0 and *answerAddress untouched.
int StandinIdentifyAnswer(const StandinConfig *config, std::uint16_t address, std::uint32_t queryNumber,
                          std::uint16_t *answerAddress);

// NttcReadReg's result for `registerNumber` at `address`: 1 with the byte for the
// identification (0x3EF) and signature (0x3E0..0x3E2) registers of a FENLO board there; 0
// with the byte 0 for any other register, or where no FENLO board answers.
int StandinRegisterAnswer(const StandinConfig *config, std::uint16_t address, std::uint16_t registerNumber,
                          std::uint8_t *value);
