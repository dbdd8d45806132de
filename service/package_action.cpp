// The package's custom actions as plain routines: `-load`'s rules and steps from the
// package's public properties.
#include "service/package_action.h"

#include <cstdio>
#include <cstring>

#include "base/console_output.h"
#include "engine/settings_word.h"
#include "service/service_install.h"

PackageActionState g_packageAction;

namespace {

// `-load`'s own words for what a property stands for. A property left out while another is
// given takes the value `-load` takes without it: local time, a slop of 150 ms, not precise.
char kProgramWord[] = "RUZivEr2";
char kLoadWord[] = "-load";
char kLocalTimeWord[] = "L";
char kDefaultSlopWord[] = "150";
char kPreciseWord[] = "precise";
char kNotPreciseWord[] = "-";

enum { TIMEBASE, SLOP, PRECISE, EDGEDELAY, PROGRAM_PATH };

// Cuts the data at its first four ';' (the program's path may hold one); missing fields are
// empty.
void SplitActionData(const char *data)
{
    std::snprintf(g_packageAction.data, sizeof g_packageAction.data, "%s", data);
    char *next = g_packageAction.data;
    for (int field = 0; field <= PROGRAM_PATH; ++field) {
        g_packageAction.fields[field] = next;
        char *end = field < PROGRAM_PATH ? std::strchr(next, ';') : NULL;
        if (end != NULL) {
            *end = '\0';
            next = end + 1;
        } else {
            next += std::strlen(next);
        }
    }
}

char *FieldOr(int field, char *otherwise)
{
    char *value = g_packageAction.fields[field];
    return value[0] != '\0' ? value : otherwise;
}

int AnyPropertyGiven(void)
{
    for (int field = 0; field < PACKAGE_PROPERTY_COUNT; ++field)
        if (g_packageAction.fields[field][0] != '\0')
            return 1;
    return 0;
}

// `-load X nnn precise D`, or `-load` alone when no property is given.
void BuildLoadArguments(const char *data)
{
    SplitActionData(data);
    char **argv = g_packageAction.argv;
    argv[0] = kProgramWord;
    argv[1] = kLoadWord;
    g_packageAction.argc = 2;
    if (!AnyPropertyGiven())
        return;
    argv[2] = FieldOr(TIMEBASE, kLocalTimeWord);
    argv[3] = FieldOr(SLOP, kDefaultSlopWord);
    argv[4] = std::strcmp(g_packageAction.fields[PRECISE], "1") == 0 ? kPreciseWord : kNotPreciseWord;
    argv[5] = g_packageAction.fields[EDGEDELAY];
    g_packageAction.argc = argv[5][0] != '\0' ? 6 : 5;
}

int SettingsWordStored(void)
{
    DWORD word;
    DWORD size = sizeof word;
    return RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, kSettingsValueName, RRF_RT_ANY, NULL, &word, &size) ==
           ERROR_SUCCESS;
}

}  // namespace

int CheckPackageSettings(const char *data)
{
    BuildLoadArguments(data);
    return !RefuseBoardDelay(g_packageAction.argc, g_packageAction.argv);
}

int CompletePackageInstall(const char *data)
{
    BuildLoadArguments(data);
    if (g_packageAction.argc > 2 || !SettingsWordStored()) {
        if (!SaveSettingsWord(g_packageAction.argc, g_packageAction.argv))
            return 0;
    } else {
        ConsolePrint("No TIMEBASE, SLOP, PRECISE or EDGEDELAY given: the settings stored stay in force.\n");
    }
    CompleteInstalledService(g_packageAction.fields[PROGRAM_PATH]);
    return 1;
}

void RemovePackageService(void) { StopServiceForRemoval(); }
