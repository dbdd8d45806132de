// Reader board discovery: finds the time-code reader board among the addresses a board can
// be set to, and records which board it is.
//
// The board record is written here only, once per start, and read by the worker: the
// address to pass to the reader library, the board's family, and its identification value
// (fixed for TAV and BRQ, read from the board for FENLO).
#pragma once

#include <windows.h>

enum BoardFamilyCode {
    BOARD_FAMILY_TAV = 1,
    BOARD_FAMILY_BRQ = 2,
    BOARD_FAMILY_FENLO = 80
};

struct BoardRecord {
    WORD boardAddress;          // where the board answered, as NttcIdentify left it
    DWORD familyCode;           // a BoardFamilyCode, 0 until a board is found
    WORD identificationValue;   // 149 TAV, 144 BRQ, FENLO's register 0x3EF zero-extended
};

extern BoardRecord g_board;

// A board whose driver comes up late may answer a second pass when the first found nothing:
// the start-up and -measure ask again after this pause.
inline constexpr DWORD kDiscoveryRetryPauseMs = 3000;

// Asks each candidate address in turn, stopping at the first board found. Returns 1 when a
// board was found and recorded, otherwise 0.
int FindReaderBoard(void);

// Asks the library for a board at one candidate address and records it. Returns 1 for a
// TAV or BRQ board, and for a FENLO board that passes InitFenloBoard; otherwise 0.
int ProbeAddress(WORD candidate);

// Checks the FENLO board at address for its signature and, when it has it, records the
// address and starts the board. Returns 1 when the board was accepted, otherwise 0. The
// identification value is recorded whenever register 0x3EF can be read, accepted or not.
int InitFenloBoard(WORD address);
