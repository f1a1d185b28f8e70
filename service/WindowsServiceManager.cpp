#include "service/WindowsServiceManager.h"

#include "base/Format.h"
#include "base/WaitMilliseconds.h"
#include "base/Win32Error.h"
#include "os/OsInfoImpl.h"
#include "process/ProcessHelper.h"
#include "service/OpenServiceHandle.h"

namespace Quelvo
{
namespace
{
constexpr int kRegistrationPolls = 50;
constexpr DWORD kRegistrationPollMs = 100;
constexpr DWORD kStepMs = 250;
constexpr std::chrono::milliseconds kStep{kStepMs};
} // namespace

WindowsServiceManager::ServiceDoesNotExist::ServiceDoesNotExist(const std::wstring& name)
    : m_message(Format("The service '{}' does not exist.", name))
{
}

const char* WindowsServiceManager::ServiceDoesNotExist::what() const noexcept
{
    return m_message.c_str();
}

WindowsServiceManager::WindowsServiceManager()
    : m_osInfo(std::make_shared<OsInfoImpl>()), m_processHelper(std::make_shared<ProcessHelper>())
{
}

WindowsServiceManager::~WindowsServiceManager() = default;

void WindowsServiceManager::Start(const std::wstring& name, const std::chrono::seconds& timeout,
                                  const std::vector<std::wstring>& arguments)
{
    const ScHandle service = OpenServiceHandle(name, SERVICE_START | SERVICE_QUERY_STATUS);
    std::vector<LPCWSTR> argumentPointers;
    argumentPointers.reserve(arguments.size());
    for (const auto& argument : arguments)
    {
        argumentPointers.push_back(argument.c_str());
    }
    const auto count = static_cast<DWORD>(argumentPointers.size());
    if (!StartServiceW(service.Get(), count, count == 0 ? nullptr : argumentPointers.data()))
    {
        const DWORD code = GetLastError();
        ThrowWin32Error(code, Format("Start service '{}' failed", name));
    }
    WaitForStart(name, service, timeout);
}

void WindowsServiceManager::Start(const std::wstring& name, const std::vector<std::wstring>& arguments,
                                  std::chrono::seconds timeout)
{
    Start(name, timeout, arguments);
}

bool WindowsServiceManager::Exists(const std::wstring& name)
{
    try
    {
        OpenServiceHandle(name, SERVICE_QUERY_STATUS);
        return true;
    }
    catch (const ServiceDoesNotExist&)
    {
        return false;
    }
}

bool WindowsServiceManager::IsRunning(const std::wstring& name)
{
    SERVICE_STATUS_PROCESS status{};
    QueryStatus(name, status);
    return status.dwCurrentState == SERVICE_RUNNING;
}

bool WindowsServiceManager::IsStopped(const std::wstring& name)
{
    SERVICE_STATUS_PROCESS status{};
    QueryStatus(name, status);
    return status.dwProcessId == 0;
}

void WindowsServiceManager::QueryStatus(const std::wstring& name, SERVICE_STATUS_PROCESS& status)
{
    const ScHandle service = OpenServiceHandle(name, SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof(SERVICE_STATUS_PROCESS), &needed))
    {
        const DWORD code = GetLastError();
        ThrowWin32Error(code, Format("Could not get SERVICE_STATUS_PROCESS for service '{}'!", name));
    }
}

bool WindowsServiceManager::WaitUntilRunning(const std::wstring& name, const std::chrono::seconds& timeout)
{
    if (!Exists(name))
    {
        return false;
    }
    const std::chrono::milliseconds limit = timeout;
    for (std::chrono::milliseconds elapsed{0}; elapsed < limit; elapsed += kStep)
    {
        SERVICE_STATUS_PROCESS status{};
        QueryStatus(name, status);
        if (status.dwCurrentState == SERVICE_RUNNING)
        {
            return true;
        }
        Sleep(kStepMs);
    }
    return false;
}

bool WindowsServiceManager::WaitUntilStopped(const std::wstring& name, const std::chrono::seconds& timeout)
{
    const std::chrono::milliseconds limit = timeout;
    for (std::chrono::milliseconds elapsed{0}; elapsed < limit; elapsed += kStep)
    {
        if (IsStopped(name))
        {
            return true;
        }
        Sleep(kStepMs);
    }
    return false;
}

void WindowsServiceManager::Stop(const std::wstring& name)
{
    const ScHandle service = OpenServiceHandle(name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
    {
        const DWORD code = GetLastError();
        if (code != ERROR_SERVICE_NOT_ACTIVE)
        {
            ThrowWin32Error(code, Format("Stop service '{}' failed", name));
        }
    }
}

void WindowsServiceManager::WaitForStart(const std::wstring& name, const ScHandle& service,
                                         const std::chrono::seconds& timeout)
{
    SERVICE_STATUS serviceStatus{};
    for (int attempts = 0;;)
    {
        if (QueryServiceStatus(service.Get(), &serviceStatus) &&
            (serviceStatus.dwCurrentState == SERVICE_START_PENDING ||
             serviceStatus.dwCurrentState == SERVICE_RUNNING))
        {
            break;
        }
        Sleep(kRegistrationPollMs);
        if (++attempts == kRegistrationPolls)
        {
            throw ServiceError("Service did not start in time.");
        }
    }

    SERVICE_STATUS_PROCESS status{};
    QueryStatus(name, status);
    if (status.dwProcessId == 0)
    {
        throw ServiceError("No process found for the started service");
    }
    const auto process = m_processHelper->OpenProcessHandle(SYNCHRONIZE, false, status.dwProcessId);
    if (!process)
    {
        ThrowLastError("No process found for the started service");
    }

    const std::chrono::milliseconds limit = timeout;
    bool wasStartPending = false;
    for (std::chrono::milliseconds elapsed{0};; elapsed += kStep)
    {
        if (elapsed >= limit)
        {
            throw ServiceError("The service did not start in time");
        }
        if (QueryServiceStatus(service.Get(), &serviceStatus))
        {
            const DWORD state = serviceStatus.dwCurrentState;
            if (state == SERVICE_RUNNING)
            {
                return;
            }
            if (state == SERVICE_START_PENDING)
            {
                wasStartPending = true;
            }
            else
            {
                // Neither starting nor running: let the process end before reporting what it did.
                if (WaitForSingleObject(process->GetOrNull(), WaitMilliseconds(limit - elapsed)) !=
                    WAIT_OBJECT_0)
                {
                    throw ServiceError("The service process did not close in time");
                }
                const DWORD lastError = GetLastError();
                throw ServiceError(lastError,
                                   Format("The service process has entered unexpected state: {}. Was "
                                          "service state once start pending: {}",
                                          state, wasStartPending));
            }
        }
        Sleep(kStepMs);
    }
}
} // namespace Quelvo
