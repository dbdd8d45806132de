// The board's delay as `-load X nnn precise D` gives it: how long before the edge the reader
// library shows the board's second began (a time code is labelled with the time at a frame's
// start and read only once the frame has gone by, and the board and its driver add their own).
// The precise mode takes every offset against the board's time so corrected.
//
// Pure code, no platform call: engine/settings_word stores and loads it.
#pragma once

#include <windows.h>

// D in ms: one optional sign, one or more decimal digits, then optionally a point and one to
// three digits, nothing else (no white space, no exponent), from -1000 to +1000 inclusive:
// "40", "41.25", "-3.5", "+2.125". Returns 1 with *delayUs in microseconds; 0 for any other
// text, leaving *delayUs alone.
int ParseBoardDelay(const char *text, LONG *delayUs);
