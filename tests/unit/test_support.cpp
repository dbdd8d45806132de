// Shared set-up for the unit tests.
#include "test_support.h"

#include "base/console_output.h"
#include "engine/board_discovery.h"
#include "engine/clock_worker.h"
#include "engine/settings_word.h"
#include "engine/stop_request.h"
#include "engine/time_check.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "fake_service_control.h"
#include "fake_service_manager.h"
#include "service/clock_set_log.h"
#include "service/console_run.h"
#include "service/service_entry.h"
#include "service/service_install.h"
#include "service/status_report.h"

void ResetEverything()
{
    FakeReset();
    FakeReaderReset();
    FakeKernelReset();
    FakeServiceReset();
    FakeServiceControlReset();
    FakeServiceManagerReset();
    g_console = ConsoleState{0};
    g_settings = SettingsState{0, 150, 0};
    g_timeCheck = TimeCheckState{};
    g_board = BoardRecord{0, 0, 0};
    g_worker = WorkerState{};
    g_stopRequest = StopRequestState{NULL, SRWLOCK_INIT, CONDITION_VARIABLE_INIT, 0};
    g_serviceInstall = ServiceInstallState{};
    g_clockSetLog = ClockSetLogState{};
    InitStatusReporting();
    g_fake.calls.clear();
}

void EndEverything() { EndStatusReporting(); }

void RunWorker() { RunClockWorker(g_console.consoleMode ? &kConsoleReporter : &kServiceReporter); }

namespace {

bool IsCallOf(const std::string &call, const std::vector<std::string> &names)
{
    for (const std::string &name : names)
        if (call.compare(0, name.size() + 1, name + " ") == 0 || call == name)
            return true;
    return false;
}

std::vector<std::string> CallsWhere(const std::vector<std::string> &names, bool named)
{
    std::vector<std::string> kept;
    for (const std::string &call : g_fake.calls)
        if (IsCallOf(call, names) == named)
            kept.push_back(call);
    return kept;
}

}  // namespace

std::vector<std::string> CallsExcept(const std::vector<std::string> &names) { return CallsWhere(names, false); }

std::vector<std::string> CallsOnly(const std::vector<std::string> &names) { return CallsWhere(names, true); }

std::vector<std::string> CallsWithoutLocks()
{
    return CallsExcept({"InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection",
                        "DeleteCriticalSection"});
}
