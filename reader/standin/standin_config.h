// Configuration of the stand-in reader library: the text of ZYN_NTTC.ini in, a record out.
//
// Pure code with no platform calls, so that the host unit tests run it as it is. The
// Windows glue (standin_library.cpp) finds and reads the file; the format and every key are
// described in docs/standin-library.md.
#pragma once

#include <cstddef>
#include <cstdint>

// The board family that NttcIdentify names, with the contract's result values.
enum StandinFamily {
    STANDIN_FAMILY_NONE = 0,
    STANDIN_FAMILY_TAV = 1,
    STANDIN_FAMILY_BRQ = 2,
    STANDIN_FAMILY_FENLO = 3
};

// A file longer than this is refused as a whole: a configuration is a few hundred bytes.
const std::size_t STANDIN_CONFIG_MAX_BYTES = 16384;

// Longest log file name accepted, in characters, without the terminating zero.
const std::size_t STANDIN_LOG_NAME_MAX = 100;

struct StandinConfig {
    int family;                       // StandinFamily of the simulated board
    std::uint16_t address;            // where the board answers NttcIdentify
    std::uint16_t answerAddress;      // what NttcIdentify leaves in *address when it answers
    std::uint32_t answerFromQuery;    // the board answers from this NttcIdentify at its address on (1 = first)
    std::uint8_t fenloId;             // FENLO register 0x3EF
    std::uint8_t fenloSignature[3];   // FENLO registers 0x3E0, 0x3E1, 0x3E2
    int useUtc;                       // 1: words follow the UTC clock, 0: the local clock
    std::int32_t offsetMs;            // board clock minus computer clock
    int frameRate;                    // frames per second, 25 or 30
    int openFails;                    // 1: NttcOpen answers 0
    int readFailPercent;              // share of reads that fail, 0..100
    int tornReadPercent;              // share of reads that return a torn word, 0..100
    std::uint32_t frozenAfterReads;   // reads after this many return one word; 0 = never
    std::uint32_t silentAfterReads;   // reads after this many fail ...
    std::uint32_t silentForReads;     // ... for this many reads; 0 = never silent
    std::uint32_t silentEveryReads;   // the stretch starts again every this many reads; 0 = once
    char logName[STANDIN_LOG_NAME_MAX + 1];  // log file beside the library; empty = no log
    std::uint32_t sampleEveryReads;   // every this many reads, log handles and memory; 0 = never
    std::uint32_t seed;               // seed of the fault generator
};

// What the parser made of a file, for the log and the tests. Line numbers start at 1.
struct StandinParseReport {
    int rejectedLines;      // lines without '=', with an empty key or a value the key refuses
    int firstRejectedLine;  // 0 when none
    int unknownKeys;        // lines with a key that is not known; ignored
    int firstUnknownLine;   // 0 when none
};

// The configuration used when there is no file: a TAV board at 0x300, in step with the local
// clock, 25 frames per second, no faults, no log.
void StandinConfigDefaults(StandinConfig *config);

// Parses `length` bytes of ZYN_NTTC.ini text into *config, starting from the defaults.
// A line that is not understood leaves its key at the value it had. Returns 1 when the text
// was taken line by line, 0 when it was refused as a whole (longer than
// STANDIN_CONFIG_MAX_BYTES, or holding a zero byte, so not a text file): *config is then
// the defaults. *report tells which lines were not understood either way.
int StandinParseConfig(const char *text, std::size_t length, StandinConfig *config, StandinParseReport *report);
