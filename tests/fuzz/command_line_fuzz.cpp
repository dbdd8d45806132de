// Fuzz target: the program's entry with any argument vector.
//
// Input:
//   byte   the platform: bits 0-1 how a -debug run ends (0 the reader library does not
//          open, 1 no board at any address, 2 and 3 a board, and Ctrl+C at the wait numbered
//          by bits 6-7 plus 1); bit 2 the settings key cannot be opened; bit 3 writing the
//          value fails; bit 4 the service is installed; bit 5 it is running
//   byte   the argument count, byte % 9 (0 to 8)
//   rest   the arguments, program name first, each ended by a zero byte; those the input
//          does not reach are empty
// Each argument is a block of its own, as long as its text and terminator, so a read past
// its end is caught. RunProgram must come back; the load, unload and debug paths return 0,
// the usage path 1 (outside the manager the dispatcher fails) with one event-log entry, a load
// whose board's delay is refused 1, storing and installing nothing. The
// settings value exists only after a load whose key opened and whose write went through,
// as REG_DWORD of 4 bytes holding the word that the storing rule gives for the arguments,
// worked out here on its own: 0 or 0xFFFF0000 (upper-case S first in the second argument)
// plus a slop of 50 to 250 (150 without a third argument). Every path closes the registry
// keys, service handles and error texts it opened.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/clock_worker.h"
#include "engine/settings_word.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "fake_service_manager.h"
#include "fuzz_support.h"
#include "service/command_line.h"
#include "base/console_output.h"
#include "test_support.h"

namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Services\\Vantrel";
const int kMostArguments = 8;

// An argument vector whose strings and pointer array are each exactly as long as needed.
struct ArgumentVector {
    int argc = 0;
    std::vector<std::unique_ptr<char[]>> texts;
    std::unique_ptr<char *[]> argv;
};

ArgumentVector ConsumeArguments(FuzzInput &in)
{
    ArgumentVector arguments;
    arguments.argc = in.Byte() % (kMostArguments + 1);
    arguments.argv.reset(new char *[arguments.argc + 1]);
    for (int i = 0; i < arguments.argc; ++i) {
        std::string text;
        while (!in.Empty()) {
            const std::uint8_t byte = in.Byte();
            if (byte == 0)
                break;
            text += static_cast<char>(byte);
        }
        std::unique_ptr<char[]> copy(new char[text.size() + 1]);
        std::copy(text.begin(), text.end(), copy.get());
        copy[text.size()] = '\0';
        arguments.argv[i] = copy.get();
        arguments.texts.push_back(std::move(copy));
    }
    arguments.argv[arguments.argc] = nullptr;
    return arguments;
}

// ---- the rules, worked out here on their own ----

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool IsOption(const char *argument, const std::string &word)
{
    if (argument[0] != '-' && argument[0] != '/')
        return false;
    const std::string rest(argument + 1);
    if (rest.size() != word.size())
        return false;
    for (std::size_t i = 0; i < rest.size(); ++i)
        if (Lower(rest[i]) != word[i])
            return false;
    return true;
}

ProgramPath ExpectedPath(int argc, char **argv)
{
    if (argc <= 1)
        return PROGRAM_PATH_USAGE;
    if (IsOption(argv[1], "load"))
        return PROGRAM_PATH_LOAD;
    if (IsOption(argv[1], "unload"))
        return PROGRAM_PATH_UNLOAD;
    if (IsOption(argv[1], "debug"))
        return PROGRAM_PATH_DEBUG;
    if (IsOption(argv[1], "status"))
        return PROGRAM_PATH_STATUS;
    if (IsOption(argv[1], "measure"))
        return PROGRAM_PATH_MEASURE;
    return PROGRAM_PATH_USAGE;
}

// The slop nnn gives: white space skipped, one sign, then decimal digits up to the first
// other character (none: 0), clamped to 50..250. Any negative number clamps to 50, and a
// number past 250 to 250, however long it is.
DWORD ExpectedSlop(const char *text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    unsigned value = 0;  // held at 251 once past 250
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<unsigned>(*text - '0');
        if (value > 250)
            value = 251;
    }
    if (negative || value < 50)
        return 50;
    return value > 250 ? 250 : value;
}

DWORD ExpectedWord(int argc, char **argv)
{
    const DWORD timeBase = argc > 2 && argv[2][0] == 'S' ? 0xFFFF0000 : 0;
    return timeBase + (argc > 3 ? ExpectedSlop(argv[3]) : 150);
}

bool IsStorableWord(DWORD word)
{
    const DWORD timeBase = word & 0xFFFFFF00;
    const DWORD slop = word & 0xFF;
    return (timeBase == 0 || timeBase == 0xFFFF0000) && slop >= 50 && slop <= 250;
}

void ArrangePlatform(std::uint8_t setup)
{
    switch (setup & 3) {
    case 0: g_fakeReader.openResult = 0; break;
    case 1: break;  // no board anywhere
    default: {
        g_fakeReader.boards[0x300] = FakeBoardAnswer{1, 0x300};
        const int stopAt = (setup >> 6) + 1;
        g_fakeKernel.onWait = [stopAt](int wait) {
            if (wait == stopAt && g_fakeKernel.consoleHandler)
                g_fakeKernel.consoleHandler(CTRL_C_EVENT);
        };
        g_fakeKernel.maxWaits = 16;  // should the stop go astray, the wait fails and the loop ends
        break;
    }
    }
    if (setup & 4)
        g_fake.createKeyError = ERROR_ACCESS_DENIED;
    if (setup & 8)
        g_fake.setValueError = ERROR_ACCESS_DENIED;
    g_fakeServiceManager.installed = (setup & 16) != 0;
    g_fakeServiceManager.running = (setup & 48) == 48;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    SilenceStandardOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    ResetEverything();
    const std::uint8_t setup = in.Byte();
    ArrangePlatform(setup);
    ArgumentVector arguments = ConsumeArguments(in);
    const int argc = arguments.argc;
    char **argv = arguments.argv.get();
    const ProgramPath path = ExpectedPath(argc, argv);
    const bool refused = path == PROGRAM_PATH_LOAD && RefusedBoardDelay(argc, argv) != nullptr;

    EndEverything();  // RunProgram starts status reporting itself
    FUZZ_CHECK(ChooseProgramPath(argc, argv) == path);
    // -status and -measure only read; their runs have tests of their own.
    if (path == PROGRAM_PATH_STATUS || path == PROGRAM_PATH_MEASURE)
        return 0;
    const int status = RunProgram(argc, argv);

    const std::vector<std::string> calls = CallsWithoutLocks();
    FUZZ_CHECK(!calls.empty());
    if (path == PROGRAM_PATH_USAGE) {
        FUZZ_CHECK(status == 1);
        FUZZ_CHECK(FakeCallsNamed("Sleep") == std::vector<std::string>{"Sleep 10000"});
        FUZZ_CHECK(FakeEvents().size() == 1);
    } else {
        FUZZ_CHECK(status == (refused ? 1 : 0));
        FUZZ_CHECK(calls.back() == "Sleep 5000");
        FUZZ_CHECK(FakeEvents().empty());
    }
    FUZZ_CHECK(g_console.consoleMode == (path == PROGRAM_PATH_DEBUG ? 1 : 0));
    if (path == PROGRAM_PATH_DEBUG) {
        FUZZ_CHECK(FakeCallsNamed("SetConsoleCtrlHandler") == std::vector<std::string>{"SetConsoleCtrlHandler 1"});
        FUZZ_CHECK(FakeCallsNamed("MessageBeep").size() >= 1);
        FUZZ_CHECK(g_fakeKernel.waits <= 4);
    }

    const FakeRegistryValue *value = FakeRegistryGet(kKey, "SvcInfo");
    if (refused)
        FUZZ_CHECK(FakeCallsNamed("OpenSCManagerA").empty());
    if (path == PROGRAM_PATH_LOAD && !refused && !(setup & 4) && !(setup & 8)) {
        FUZZ_CHECK(value != nullptr);
        FUZZ_CHECK(value->type == REG_DWORD);
        FUZZ_CHECK(value->data.size() == 4);
        const DWORD word = static_cast<DWORD>(value->data[0]) | static_cast<DWORD>(value->data[1]) << 8 |
                           static_cast<DWORD>(value->data[2]) << 16 | static_cast<DWORD>(value->data[3]) << 24;
        FUZZ_CHECK(IsStorableWord(word));
        FUZZ_CHECK(word == ExpectedWord(argc, argv));
    } else {
        FUZZ_CHECK(value == nullptr);
    }
    if (path != PROGRAM_PATH_LOAD)
        FUZZ_CHECK(FakeCallsNamed("RegSetValueExA").empty());

    FUZZ_CHECK(g_fake.openKeys == 0);
    FUZZ_CHECK(FakeOpenServiceHandles() == 0);
    FUZZ_CHECK(FakeLiveMessageTexts() == 0);
    FUZZ_CHECK(g_fakeServiceManager.deadHandleUses == 0);
    FUZZ_CHECK(g_fakeKernel.deadHandleUses == 0);
    EndEverything();
    return 0;
}
