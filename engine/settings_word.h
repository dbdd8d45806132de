// The settings word: the service's one stored setting.
//
// HKLM\SYSTEM\CurrentControlSet\Services\Vantrel, value SvcInfo (REG_DWORD):
//   bits 0-7    slop in milliseconds (`-load` stores 50 to 250)
//   bits 8-15   no meaning
//   bits 16-31  time base: 0xFFFF for UTC, 0 for local time (any bit set means UTC)
// `-load X nnn` stores it; the worker loads it once at each start.
//
// Beside it, the REG_DWORD `Discipline`: 1 chooses the precise mode (`-load X nnn precise`),
// which slews the clock to the board's second edge; without it, or with any other value,
// the clock is compared and stepped as ever. Every other `-load` deletes it.
//
// And the REG_DWORD `EdgeDelayUs`: the board's delay in microseconds, two's complement
// (`-load X nnn precise D`, D in ms, engine/board_delay_rule), by which the precise mode
// corrects the board's time. Every `-load` without it deletes it.
#pragma once

#include <windows.h>

struct SettingsState {
    DWORD settingsWord;  // as built by `-load`, or as loaded by the worker
    LONG slopMs;         // the clock may differ from the board by this much, in ms
    int useUtc;          // 1: read and set the clock in UTC; 0: in local time
    int precise = 0;     // 1: Discipline is 1, the precise mode; 0: compared and stepped
    LONG edgeDelayUs = 0;  // the board's delay from EdgeDelayUs; 0 when there is none
};

extern SettingsState g_settings;

extern const char kSettingsKeyPath[];    // "SYSTEM\\CurrentControlSet\\Services\\Vantrel"
extern const char kSettingsValueName[];  // "SvcInfo"
extern const char kDisciplineValueName[];  // "Discipline"
extern const char kEdgeDelayValueName[];   // "EdgeDelayUs"

// Builds the word from `-load`'s arguments: argv[2] is the time base X, argv[3] the slop nnn.
DWORD BuildSettingsWord(int argc, char **argv);

// `-load`'s fifth argument, argv[5], the board's delay, when the fourth is "precise" and the
// delay is not one ParseBoardDelay takes; otherwise NULL (there is none, or it is taken; a fifth
// argument after any other fourth is ignored, as every extra argument is).
const char *RefusedBoardDelay(int argc, char **argv);

// Builds the word into g_settings and writes it to the registry, with Discipline = 1 for the
// precise mode or Discipline deleted (a missing value is no error), then EdgeDelayUs when the
// precise mode's delay is given, or EdgeDelayUs deleted. The caller refuses the arguments that
// RefusedBoardDelay names before anything is stored. Returns 1 when all was written; on
// failure 0, with the registry's error as the last error and *failedCall naming the call
// ("RegCreateKeyEx", "RegSetValueEx", "RegDeleteValue"). The caller prints the failure and
// installs the service all the same.
int StoreSettingsWord(int argc, char **argv, const char **failedCall);

// Sets the slop and the time base from the registry, or leaves the defaults (150 ms, local
// time) when the key or value cannot be read, and then the mode from Discipline and the
// board's delay from EdgeDelayUs (only a REG_DWORD; anything else is no delay).
// Prints "%Xh" in console mode.
void LoadSettingsWord(void);

// The stored settings as the worker would load them, read with read access only (a plain
// user may read them, not open the key as the worker does), into *settings.
void ReadStoredSettings(SettingsState *settings);
