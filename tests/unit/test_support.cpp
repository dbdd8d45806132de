// Shared set-up for the unit tests.
#include "test_support.h"

#include "engine/board_discovery.h"
#include "engine/clock_worker.h"
#include "engine/settings_word.h"
#include "engine/time_check.h"
#include "fake_kernel.h"
#include "fake_platform.h"
#include "fake_reader.h"
#include "fake_service.h"
#include "fake_service_control.h"
#include "fake_service_manager.h"
#include "service/console_output.h"
#include "service/service_install.h"
#include "service/status_report.h"
#include "service/stop_request.h"

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
    g_stopRequest = StopRequestState{NULL, SRWLOCK_INIT};
    g_serviceInstall = ServiceInstallState{};
    InitStatusReporting();
    g_fake.calls.clear();
}

void EndEverything() { EndStatusReporting(); }

std::vector<std::string> CallsExcept(const std::vector<std::string> &names)
{
    std::vector<std::string> kept;
    for (const std::string &call : g_fake.calls) {
        bool excluded = false;
        for (const std::string &name : names)
            excluded = excluded || call.compare(0, name.size() + 1, name + " ") == 0 || call == name;
        if (!excluded)
            kept.push_back(call);
    }
    return kept;
}

std::vector<std::string> CallsWithoutLocks()
{
    return CallsExcept({"InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection",
                        "DeleteCriticalSection"});
}
