// The simulated Service Control Manager: scripted services, their processes, and SC_HANDLEs in the
// handle table.
#include "Internal.h"

#include <winsim/Services.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace
{
using namespace winsim::detail;
using winsim::ServiceDefinition;
using winsim::ServiceStep;

constexpr DWORD kErrorInvalidLevel = 124;
constexpr DWORD kErrorDatabaseDoesNotExist = 1065;
constexpr DWORD kMaxServiceNameLength = 256;
constexpr DWORD kStatusProcessSize = sizeof(SERVICE_STATUS_PROCESS);

struct Service
{
    ServiceDefinition definition;
    std::vector<ServiceStep> script;
    std::size_t step = 0;
    unsigned remainingQueries = 0;
    DWORD processId = 0;
    std::vector<std::wstring> lastArguments;
    std::size_t starts = 0;
    std::size_t stops = 0;
    std::size_t statusQueries = 0;
};

struct ManagerHandle
{
    DWORD access;
};

struct ServiceHandle
{
    std::shared_ptr<Service> service;
    DWORD access;
};

struct ServiceControlManager
{
    std::vector<std::shared_ptr<Service>> services;
    DWORD managerRights = winsim::kStandardUserManagerRights;
    bool zeroSizeConfigQuerySucceeds = false;
    std::vector<std::string> invalidHandleUses;
};

ServiceControlManager& TheScm()
{
    static ServiceControlManager scm;
    return scm;
}

std::shared_ptr<Service> FindService(const std::wstring& name)
{
    for (const auto& service : TheScm().services)
    {
        if (NamesEqual(service->definition.name, name))
        {
            return service;
        }
    }
    return nullptr;
}

std::shared_ptr<Service> FindServiceOrThrow(const std::wstring& name)
{
    auto service = FindService(name);
    if (!service)
    {
        throw std::invalid_argument("winsim: no service " + Describe(name));
    }
    return service;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// A handle that is not (or no longer) in the table; remembered so that tests can assert none was used.
void RecordInvalidUse(const char* function, const void* handle)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s(0x%llx)", function,
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
    TheScm().invalidHandleUses.emplace_back(text);
}

std::shared_ptr<ServiceHandle> FindServiceHandle(SC_HANDLE handle, const char* function)
{
    auto found = Find<ServiceHandle>(handle, HandleKind::Service);
    if (!found)
    {
        RecordInvalidUse(function, handle);
    }
    return found;
}

void EnterStep(Service& service, std::size_t index)
{
    service.step = index;
    const ServiceStep& step = service.script[index];
    service.remainingQueries = step.queries;
    if (step.processExitAfterMs && service.processId != 0)
    {
        ScheduleProcessExit(service.processId, ClockMilliseconds() + *step.processExitAfterMs,
                            step.processExitCode);
    }
}

void RunScript(Service& service, std::vector<ServiceStep> script)
{
    if (script.empty())
    {
        script.push_back(ServiceStep(SERVICE_STOPPED));
    }
    service.script = std::move(script);
    EnterStep(service, 0);
}

const ServiceStep& CurrentStep(const Service& service)
{
    return service.script[service.step];
}

// An active service whose process has gone is stopped, as the SCM notices when the process ends.
void NoticeEndedProcess(Service& service)
{
    if (CurrentStep(service).state != SERVICE_STOPPED && service.processId != 0 &&
        !IsSimProcessRunning(service.processId))
    {
        RunScript(service, {ServiceStep(SERVICE_STOPPED).ReportsExitCode(ERROR_PROCESS_ABORTED)});
    }
}

// Reports the current step and counts the query against it.
SERVICE_STATUS_PROCESS QueryAndAdvance(Service& service)
{
    NoticeEndedProcess(service);
    ++service.statusQueries;
    const ServiceStep& step = CurrentStep(service);
    SERVICE_STATUS_PROCESS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = step.state;
    status.dwControlsAccepted = step.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = step.win32ExitCode;
    status.dwCheckPoint = step.state == SERVICE_START_PENDING || step.state == SERVICE_STOP_PENDING ? 1 : 0;
    status.dwWaitHint = status.dwCheckPoint != 0 ? 2000 : 0;
    status.dwProcessId = step.state == SERVICE_STOPPED ? 0 : service.processId;
    if (step.queries != 0 && --service.remainingQueries == 0 && service.step + 1 < service.script.size())
    {
        EnterStep(service, service.step + 1);
    }
    return status;
}

void CopyStatus(const SERVICE_STATUS_PROCESS& from, SERVICE_STATUS& to)
{
    std::memcpy(&to, &from, sizeof to); // SERVICE_STATUS is the head of SERVICE_STATUS_PROCESS
}

void StartProcessOf(Service& service)
{
    service.processId = service.definition.startsProcess
                            ? StartSimProcess(service.definition.imagePath, service.definition.commandLine,
                                              ProcessAccount::LocalSystem)
                            : 0;
}

// The configuration strings, each NUL-terminated, in the order they are laid out after the record.
std::vector<std::wstring> ConfigStrings(const Service& service)
{
    return {service.definition.commandLine, L"", L"", L"LocalSystem", service.definition.name};
}
} // namespace

namespace winsim
{
void InstallService(const ServiceDefinition& definition)
{
    std::lock_guard guard(MachineLock());
    RemoveService(definition.name);
    auto service = std::make_shared<Service>();
    service->definition = definition;
    if (definition.state != SERVICE_STOPPED)
    {
        StartProcessOf(*service);
    }
    RunScript(*service, {ServiceStep(definition.state)});
    TheScm().services.push_back(std::move(service));
}

void RemoveService(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    auto& services = TheScm().services;
    services.erase(std::remove_if(services.begin(), services.end(),
                                  [&](const auto& service)
                                  { return NamesEqual(service->definition.name, name); }),
                   services.end());
}

void SetZeroSizeConfigQuerySucceeds(bool succeeds)
{
    std::lock_guard guard(MachineLock());
    TheScm().zeroSizeConfigQuerySucceeds = succeeds;
}

void SetServiceManagerRights(DWORD grantedRights)
{
    std::lock_guard guard(MachineLock());
    TheScm().managerRights = grantedRights;
}

DWORD ServiceState(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    auto service = FindServiceOrThrow(name);
    NoticeEndedProcess(*service);
    return CurrentStep(*service).state;
}

DWORD ServiceProcessId(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    auto service = FindServiceOrThrow(name);
    NoticeEndedProcess(*service);
    return CurrentStep(*service).state == SERVICE_STOPPED ? 0 : service->processId;
}

std::vector<std::wstring> LastStartArguments(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    return FindServiceOrThrow(name)->lastArguments;
}

std::size_t ServiceStartCount(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    return FindServiceOrThrow(name)->starts;
}

std::size_t ServiceStopCount(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    return FindServiceOrThrow(name)->stops;
}

std::size_t ServiceStatusQueryCount(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    return FindServiceOrThrow(name)->statusQueries;
}

std::size_t InvalidServiceHandleUseCount()
{
    std::lock_guard guard(MachineLock());
    return TheScm().invalidHandleUses.size();
}

std::vector<std::string> InvalidServiceHandleUses()
{
    std::lock_guard guard(MachineLock());
    return TheScm().invalidHandleUses;
}
} // namespace winsim

namespace winsim::detail
{
void ResetServices()
{
    std::lock_guard guard(MachineLock());
    TheScm() = ServiceControlManager{};
}
} // namespace winsim::detail

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    RecordAccessRequest("OpenSCManagerW", desiredAccess);
    if (const auto fault = Enter("OpenSCManagerW"))
    {
        SetLastError(*fault);
        return nullptr;
    }
    std::lock_guard guard(MachineLock());
    if (machineName != nullptr && *machineName != L'\0')
    {
        SetLastError(ERROR_INVALID_NAME); // only the local machine is simulated
        return nullptr;
    }
    if (databaseName != nullptr && !NamesEqual(databaseName, L"ServicesActive"))
    {
        SetLastError(kErrorDatabaseDoesNotExist);
        return nullptr;
    }
    if ((desiredAccess & ~TheScm().managerRights) != 0)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return Add<SC_HANDLE>(HandleKind::ServiceManager,
                          std::make_shared<ManagerHandle>(ManagerHandle{desiredAccess}),
                          "SC_HANDLE of the service manager");
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    RecordAccessRequest("OpenServiceW", desiredAccess);
    if (const auto fault = Enter("OpenServiceW"))
    {
        SetLastError(*fault);
        return nullptr;
    }
    std::lock_guard guard(MachineLock());
    if (!Find<ManagerHandle>(manager, HandleKind::ServiceManager))
    {
        RecordInvalidUse("OpenServiceW", manager);
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (serviceName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::wstring name(serviceName);
    if (name.empty() || name.size() > kMaxServiceNameLength)
    {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    auto service = FindService(name);
    if (!service)
    {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if ((desiredAccess & ~service->definition.grantedRights) != 0)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return Add<SC_HANDLE>(HandleKind::Service,
                          std::make_shared<ServiceHandle>(ServiceHandle{service, desiredAccess}),
                          "SC_HANDLE of service " + Describe(name));
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS serviceStatus)
{
    if (const auto fault = Enter("QueryServiceStatus"))
    {
        return Fail(*fault);
    }
    std::lock_guard guard(MachineLock());
    const auto handle = FindServiceHandle(service, "QueryServiceStatus");
    if (!handle)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if ((handle->access & SERVICE_QUERY_STATUS) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (serviceStatus == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    CopyStatus(QueryAndAdvance(*handle->service), *serviceStatus);
    return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufSize,
                                 LPDWORD bytesNeeded)
{
    if (const auto fault = Enter("QueryServiceStatusEx"))
    {
        return Fail(*fault);
    }
    std::lock_guard guard(MachineLock());
    const auto handle = FindServiceHandle(service, "QueryServiceStatusEx");
    if (!handle)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (infoLevel != SC_STATUS_PROCESS_INFO)
    {
        return Fail(kErrorInvalidLevel);
    }
    if (bytesNeeded == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((handle->access & SERVICE_QUERY_STATUS) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (buffer == nullptr || bufSize < kStatusProcessSize)
    {
        *bytesNeeded = kStatusProcessSize;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    const SERVICE_STATUS_PROCESS status = QueryAndAdvance(*handle->service);
    std::memcpy(buffer, &status, sizeof status);
    *bytesNeeded = kStatusProcessSize;
    return TRUE;
}

BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW serviceConfig, DWORD bufSize,
                                LPDWORD bytesNeeded)
{
    if (const auto fault = Enter("QueryServiceConfigW"))
    {
        return Fail(*fault);
    }
    std::lock_guard guard(MachineLock());
    const auto handle = FindServiceHandle(service, "QueryServiceConfigW");
    if (!handle)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (bytesNeeded == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((handle->access & SERVICE_QUERY_CONFIG) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    const Service& target = *handle->service;
    const auto strings = ConfigStrings(target);
    std::size_t needed = sizeof(QUERY_SERVICE_CONFIGW);
    for (const auto& text : strings)
    {
        needed += (text.size() + 1) * sizeof(WCHAR);
    }
    // lpDependencies is a double-NUL-terminated list.
    needed += sizeof(WCHAR);
    if (bufSize == 0 && TheScm().zeroSizeConfigQuerySucceeds)
    {
        *bytesNeeded = 0;
        return TRUE;
    }
    if (serviceConfig == nullptr || bufSize < needed)
    {
        *bytesNeeded = static_cast<DWORD>(needed);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    auto* config = serviceConfig;
    *config = QUERY_SERVICE_CONFIGW{};
    config->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    config->dwStartType = target.definition.startType;
    config->dwErrorControl = SERVICE_ERROR_NORMAL;
    auto* next =
        reinterpret_cast<WCHAR*>(reinterpret_cast<BYTE*>(serviceConfig) + sizeof(QUERY_SERVICE_CONFIGW));
    const auto place = [&next](const std::wstring& text, std::size_t terminators)
    {
        WCHAR* start = next;
        std::copy(text.begin(), text.end(), next);
        next += text.size();
        for (std::size_t i = 0; i < terminators; ++i)
        {
            *next++ = L'\0';
        }
        return start;
    };
    config->lpBinaryPathName = place(strings[0], 1);
    config->lpLoadOrderGroup = place(strings[1], 1);
    config->lpDependencies = place(strings[2], 2);
    config->lpServiceStartName = place(strings[3], 1);
    config->lpDisplayName = place(strings[4], 1);
    *bytesNeeded = static_cast<DWORD>(needed);
    return TRUE;
}

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD numServiceArgs, LPCWSTR* serviceArgVectors)
{
    if (const auto fault = Enter("StartServiceW"))
    {
        return Fail(*fault);
    }
    std::lock_guard guard(MachineLock());
    const auto handle = FindServiceHandle(service, "StartServiceW");
    if (!handle)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if ((handle->access & SERVICE_START) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (numServiceArgs != 0 && serviceArgVectors == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Service& target = *handle->service;
    if (target.definition.startType == SERVICE_DISABLED)
    {
        return Fail(ERROR_SERVICE_DISABLED);
    }
    NoticeEndedProcess(target);
    if (CurrentStep(target).state != SERVICE_STOPPED)
    {
        return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    }
    target.lastArguments.assign(serviceArgVectors, serviceArgVectors + numServiceArgs);
    ++target.starts;
    StartProcessOf(target);
    RunScript(target, target.definition.startScript);
    return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS serviceStatus)
{
    if (const auto fault = Enter("ControlService"))
    {
        return Fail(*fault);
    }
    std::lock_guard guard(MachineLock());
    const auto handle = FindServiceHandle(service, "ControlService");
    if (!handle)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (serviceStatus == nullptr ||
        (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE))
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const DWORD needed = control == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_INTERROGATE;
    if ((handle->access & needed) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    Service& target = *handle->service;
    NoticeEndedProcess(target);
    const DWORD state = CurrentStep(target).state;
    if (state == SERVICE_STOPPED)
    {
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    }
    if (state != SERVICE_RUNNING)
    {
        return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL); // pending states accept no control
    }
    if (control == SERVICE_CONTROL_STOP)
    {
        ++target.stops;
        RunScript(target, target.definition.stopScript);
    }
    SERVICE_STATUS_PROCESS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = CurrentStep(target).state;
    status.dwWin32ExitCode = CurrentStep(target).win32ExitCode;
    CopyStatus(status, *serviceStatus);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle)
{
    if (const auto fault = Enter("CloseServiceHandle"))
    {
        return Fail(*fault);
    }
    if (!RemoveHandle(reinterpret_cast<std::uintptr_t>(handle),
                      {HandleKind::ServiceManager, HandleKind::Service}, "CloseServiceHandle"))
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}
