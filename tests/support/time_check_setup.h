// The one way the tests, the fuzz target, the clock simulation and the benchmark start the
// time-code check: with the inputs the worker's start-up would give it.
#pragma once

#include <windows.h>

#include "engine/time_check.h"

// The board address, token and clock-privilege LUID that the setups use, so that a test can
// name them in the calls it expects.
const WORD TEST_BOARD_ADDRESS = 0x300;
HANDLE const TEST_TOKEN = reinterpret_cast<HANDLE>(0x70);
const LUID TEST_SYSTEMTIME_LUID = {22, 0};

// The check back at its process start (no word read, not armed, not in step), then given
// the board at TEST_BOARD_ADDRESS, the slop, the time base, TEST_TOKEN and a privilege record
// for TEST_SYSTEMTIME_LUID with SE_PRIVILEGE_ENABLED.
void StartTestTimeCheck(LONG slopMs, int useUtc);
