// Test control of the simulated Service Control Manager: installed services, the states they go through
// after a start or a stop control, the process behind them, and the rights a caller is granted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim
{
// What the default security of the SCM and of a service grant an interactive user who is not an
// administrator; the simulated SCM grants these and no more unless a test grants more.
inline constexpr DWORD kStandardUserManagerRights =
    SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
inline constexpr DWORD kStandardUserServiceRights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS |
                                                    SERVICE_INTERROGATE | SERVICE_ENUMERATE_DEPENDENTS |
                                                    SERVICE_USER_DEFINED_CONTROL | READ_CONTROL;

// One state of a service script. Every status query of the service (QueryServiceStatus,
// QueryServiceStatusEx) reports the current step and counts against it. A service whose process ends
// while it is not stopped is reported stopped with ERROR_PROCESS_ABORTED, as Windows does.
struct ServiceStep
{
    // `state` for `queries` status queries before the next step; 0 keeps it for good.
    ServiceStep(DWORD state = SERVICE_STOPPED, unsigned queries = 0) : state(state), queries(queries) {}

    // The service's process ends `afterMs` after entering this step, on the virtual clock.
    ServiceStep ProcessExits(std::uint64_t afterMs, DWORD exitCode = 0) const
    {
        ServiceStep step = *this;
        step.processExitAfterMs = afterMs;
        step.processExitCode = exitCode;
        return step;
    }

    // The dwWin32ExitCode the status reports in this step.
    ServiceStep ReportsExitCode(DWORD exitCode) const
    {
        ServiceStep step = *this;
        step.win32ExitCode = exitCode;
        return step;
    }

    DWORD state;
    unsigned queries;
    // Without it, the process keeps running.
    std::optional<std::uint64_t> processExitAfterMs;
    DWORD processExitCode = 0;
    DWORD win32ExitCode = 0;
};

struct ServiceDefinition
{
    std::wstring name;
    // lpBinaryPathName of the configuration, as it was given at installation.
    std::wstring commandLine;
    // Image path of the service's process; QueryFullProcessImageNameW reports it.
    std::wstring imagePath;
    DWORD startType = SERVICE_DEMAND_START;
    // The state at installation; any state but stopped has a running process.
    DWORD state = SERVICE_STOPPED;
    // The states after a successful StartServiceW, from its return on.
    std::vector<ServiceStep> startScript = {{SERVICE_START_PENDING, 1}, {SERVICE_RUNNING, 0}};
    // The states after a stop control accepted in the running state.
    std::vector<ServiceStep> stopScript = {{SERVICE_STOP_PENDING, 1},
                                           ServiceStep(SERVICE_STOPPED).ProcessExits(0)};
    // A start creates a process; without one, the status reports process id 0 throughout.
    bool startsProcess = true;
    // Rights OpenServiceW grants; asking for any other right fails with ERROR_ACCESS_DENIED.
    DWORD grantedRights = kStandardUserServiceRights;
};

// Installs (or replaces) a service; names compare without regard to ASCII case.
void InstallService(const ServiceDefinition& definition);
void RemoveService(const std::wstring& name);

// Rights OpenSCManagerW grants (kStandardUserManagerRights after Reset); asking for any other right fails
// with ERROR_ACCESS_DENIED.
void SetServiceManagerRights(DWORD grantedRights);

// A faulty SCM whose QueryServiceConfigW reports success for a zero-size buffer (and fills nothing).
void SetZeroSizeConfigQuerySucceeds(bool succeeds);

// The current state and process id of a service, without counting as a status query.
DWORD ServiceState(const std::wstring& name);
DWORD ServiceProcessId(const std::wstring& name);
// The arguments of the last successful StartServiceW, and how many starts and stop controls succeeded.
std::vector<std::wstring> LastStartArguments(const std::wstring& name);
std::size_t ServiceStartCount(const std::wstring& name);
std::size_t ServiceStopCount(const std::wstring& name);
// Status queries of a service since Reset.
std::size_t ServiceStatusQueryCount(const std::wstring& name);
// Calls that were given an unknown or already closed SCM handle (each fails with ERROR_INVALID_HANDLE).
std::size_t InvalidServiceHandleUseCount();
std::vector<std::string> InvalidServiceHandleUses();
} // namespace winsim
