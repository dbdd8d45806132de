// The maker's reader library, ZYN_NTTC.dll, as this program uses it.
//
// The library exports its operations by ordinal only, with the Windows API calling
// convention; every argument is passed by reference and every result is a 32-bit int.
// The Windows builds bind to it at load time through an import library made from
// ZYN_NTTC_<arch>.def beside this file, so the ordinals below are the contract.
#pragma once

#include <windows.h>

enum NttcOrdinal {
    NTTC_ORDINAL_IDENTIFY = 1,
    NTTC_ORDINAL_READ_TIME = 2,
    NTTC_ORDINAL_READ_REG = 7,
    NTTC_ORDINAL_WRITE_REG = 9,
    NTTC_ORDINAL_SEND_BYTE = 11,
    NTTC_ORDINAL_OPEN = 17
};

extern "C" {

// Prepares the library; non-zero when it is ready.
int WINAPI NttcOpen(void);

// Asks for a board at *address: 1 TAV, 2 BRQ, 3 FENLO, anything else no known board.
// The library may change *address; the value it leaves is the board's address.
int WINAPI NttcIdentify(WORD *address);

// Reads the time-code word of the board at *address; non-zero when the word was read.
int WINAPI NttcReadTime(DWORD *timeCodeWord, WORD *address);

// Reads one register of a FENLO board into *value; non-zero when the read was done.
int WINAPI NttcReadReg(BYTE *value, WORD *registerNumber, WORD *address);

// Writes *value to one register of the board at *address.
int WINAPI NttcWriteReg(BYTE *value, WORD *registerNumber, WORD *address);

// Sends one byte to the board at *address; the second byte is the library's own.
int WINAPI NttcSendByte(BYTE *value, BYTE *secondByte, WORD *address);

}
