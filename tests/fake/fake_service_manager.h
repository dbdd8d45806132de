// Recording fake of the Service Control Manager and of the system's error texts.
//
// One service, ours, which is installed or not and running or not. Each call records one
// line in g_fake.calls:
//   "OpenSCManagerA <machine> <database> <access>"
//   "CreateServiceA <manager> <name> <display> <access> <type> <start> <error control>
//        <path> <group> <tag> <dependencies> <account> <password>"
//   "OpenServiceA <manager> <name> <access>"
//   "ControlService <service> <control>", "QueryServiceStatus <service>",
//   "DeleteService <service>", "CloseServiceHandle <handle>",
//   "QueryServiceObjectSecurity <service> <information> <size>",
//   "SetServiceObjectSecurity <service> <information> <SDDL>"
//   "FormatMessageA <flags> <source> <id> <language> <size> <arguments>"
// Texts print in angle brackets (<ZYN NT Horavex Service2>), a null text or pointer as
// "(null)", a dependency list as its strings in braces ({} for an empty list, {<a>,<b>}),
// access and flags in hex. The status record and FormatMessageA's buffer are left out of
// the lines: their addresses change from run to run; the record's address is kept below.
// Handles are numbered from 0x700 in the order they are opened, managers and services
// alike; every open handle is counted until it is closed.
//
// FormatMessageA answers Wine's texts, each with its "\r\n", in a block that only LocalFree
// gives back. Each test starts from FakeServiceManagerReset().
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One answer of QueryServiceStatus: the state it reports, or the error it fails with.
struct FakeQueryAnswer {
    DWORD state;
    DWORD error;  // non-zero: the query fails with it and leaves the record as it was
};

// Every argument of a CreateServiceA call, whole (a recorded line is cut at 511 characters).
struct FakeCreateCall {
    std::string serviceName;
    std::string displayName;
    DWORD desiredAccess;
    DWORD serviceType;
    DWORD startType;
    DWORD errorControl;
    std::string binaryPath;
    bool groupIsNull;
    bool tagIsNull;
    std::string dependencies;  // as recorded: "(null)", "{}", "{<a>,<b>}"
    bool accountIsNull;
    bool passwordIsNull;
};

// A new service's access list on Windows 10, as SDDL.
inline constexpr char kFakeServiceDacl[] =
    "D:(A;;CCLCSWRPWPDTLOCRRC;;;SY)(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BA)(A;;CCLCSWLOCRRC;;;IU)(A;;CCLCSWLOCRRC;;;SU)";

struct FakeServiceManagerState {
    DWORD openManagerError = 0;    // non-zero: OpenSCManagerA fails with it
    bool installed = false;        // CreateServiceA fails with 1073 while true, OpenServiceA with 1060 while false
    bool running = false;          // ControlService fails with 1062 while false
    DWORD createServiceError = 0;  // non-zero: CreateServiceA fails with it first
    DWORD openServiceError = 0;    // non-zero: OpenServiceA fails with it first
    DWORD deleteServiceError = 0;  // non-zero: DeleteService fails with it
    DWORD changeConfigError = 0;   // non-zero: ChangeServiceConfig2A fails with it

    // The service's access list, as QueryServiceObjectSecurity answers it (SDDL, DACL only; a
    // new service's default on Windows 10) and SetServiceObjectSecurity sets it, unless
    // `securityKept` is false: then the set succeeds and changes nothing, as under Wine.
    std::string dacl = kFakeServiceDacl;
    bool securityKept = true;

    // The state the stop control answers with; the service then counts as not running.
    DWORD stateAfterStop = SERVICE_STOP_PENDING;
    // QueryServiceStatus's answers in order; once they are used up, the service has stopped.
    std::deque<FakeQueryAnswer> queries;

    std::vector<FakeCreateCall> created;  // every CreateServiceA call
    LPSERVICE_STATUS controlRecord = nullptr;  // where ControlService last wrote its answer
    LPSERVICE_STATUS queryRecord = nullptr;    // where QueryServiceStatus last wrote its answer

    std::map<std::uintptr_t, bool> handles;  // open handles; true for a manager's
    std::uintptr_t nextHandle = 0x700;
    int deadHandleUses = 0;  // calls with a handle that is not open, or of the wrong kind

    // FormatMessageA's texts by code; `anyCodeText`, when set, answers every code instead.
    std::map<DWORD, std::string> texts;
    std::optional<std::string> anyCodeText;
};

extern FakeServiceManagerState g_fakeServiceManager;

// Puts the record back to its defaults, with Wine's texts for the codes the tests use, and
// gives back the texts that were not freed.
void FakeServiceManagerReset();

// Handles still open, managers and services.
int FakeOpenServiceHandles();

// Texts FormatMessageA allocated and LocalFree has not yet freed.
int FakeLiveMessageTexts();

// Frees `memory` if it is a text FormatMessageA allocated; returns whether it was. For the
// fake's LocalFree.
bool FakeFreeMessageText(HLOCAL memory);
