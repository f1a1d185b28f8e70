#include "installer/ServiceInstaller.h"

#include "base/Format.h"
#include "base/Win32Error.h"
#include "service/ScHandle.h"

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace DemoProduct
{
using namespace Quelvo;

namespace
{
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr auto kStopLimit = std::chrono::seconds(30);

ScHandle OpenManager(DWORD access)
{
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, access));
    if (!manager)
    {
        ThrowLastError("OpenSCManagerW failed");
    }
    return manager;
}

ScHandle OpenNamedService(const std::wstring& name, DWORD access)
{
    const ScHandle manager = OpenManager(SC_MANAGER_CONNECT);
    ScHandle service(OpenServiceW(manager.Get(), name.c_str(), access));
    if (!service)
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("OpenServiceW of '{}' failed", name));
    }
    return service;
}

SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE service)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &needed))
    {
        ThrowLastError("QueryServiceStatusEx failed");
    }
    return status;
}

// Stops the service behind `service` (opened for stop and status queries) and waits until it stopped.
void StopServiceAndWait(SC_HANDLE service)
{
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    while (std::chrono::steady_clock::now() < deadline)
    {
        const DWORD state = QueryStatus(service).dwCurrentState;
        if (state == SERVICE_STOPPED)
        {
            return;
        }
        if (state == SERVICE_RUNNING)
        {
            SERVICE_STATUS ignored{};
            ControlService(service, SERVICE_CONTROL_STOP, &ignored);
        }
        std::this_thread::sleep_for(kPoll);
    }
    throw std::runtime_error("the service did not stop in time");
}

void Change(const std::wstring& name, DWORD startType, const wchar_t* commandLine)
{
    const ScHandle service = OpenNamedService(name, SERVICE_CHANGE_CONFIG);
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, commandLine,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("ChangeServiceConfigW of '{}' failed", name));
    }
}
} // namespace

std::wstring DemoServicePath()
{
    wchar_t program[MAX_PATH * 4] = {};
    if (GetModuleFileNameW(nullptr, program, static_cast<DWORD>(std::size(program))) == 0)
    {
        ThrowLastError("GetModuleFileNameW failed");
    }
    return (std::filesystem::path(program).parent_path() / L"demo_service.exe").wstring();
}

std::wstring DemoServiceCommandLine(const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + DemoServicePath() + L"\"";
    if (!arguments.empty())
    {
        commandLine += L" " + arguments;
    }
    return commandLine;
}

void RemoveServiceIfInstalled(const std::wstring& name)
{
    const ScHandle manager = OpenManager(SC_MANAGER_CONNECT);
    {
        const ScHandle service(
            OpenServiceW(manager.Get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
        if (!service)
        {
            if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
            {
                return;
            }
            const DWORD error = GetLastError();
            ThrowWin32Error(error, Format("OpenServiceW of '{}' failed", name));
        }
        StopServiceAndWait(service.Get());
        if (!DeleteService(service.Get()))
        {
            const DWORD error = GetLastError();
            ThrowWin32Error(error, Format("DeleteService of '{}' failed", name));
        }
    }
    // The deletion completes once the last handle is closed.
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    while (std::chrono::steady_clock::now() < deadline)
    {
        const ScHandle probe(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS));
        if (!probe && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST)
        {
            return;
        }
        std::this_thread::sleep_for(kPoll);
    }
    throw std::runtime_error("the service was not deleted in time");
}

ScopedService::ScopedService(std::wstring name, const std::wstring& commandLine, DWORD startType)
    : m_name(std::move(name))
{
    RemoveServiceIfInstalled(m_name);
    const ScHandle manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    const ScHandle service(CreateServiceW(manager.Get(), m_name.c_str(), m_name.c_str(), SERVICE_ALL_ACCESS,
                                          SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                          commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service)
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("CreateServiceW of '{}' failed", m_name));
    }
}

ScopedService::~ScopedService()
{
    try
    {
        RemoveServiceIfInstalled(m_name);
    }
    catch (const std::exception&)
    {
        // A test that failed may leave the service behind; the next installation removes it.
    }
}

void ScopedService::SetStartType(DWORD startType)
{
    Change(m_name, startType, nullptr);
}

void ScopedService::SetCommandLine(const std::wstring& commandLine)
{
    Change(m_name, SERVICE_NO_CHANGE, commandLine.c_str());
}

SERVICE_STATUS_PROCESS ScopedService::Status() const
{
    const ScHandle service = OpenNamedService(m_name, SERVICE_QUERY_STATUS);
    return QueryStatus(service.Get());
}

bool ScopedService::WaitForState(DWORD state, std::chrono::milliseconds timeout) const
{
    const ScHandle service = OpenNamedService(m_name, SERVICE_QUERY_STATUS);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do
    {
        if (QueryStatus(service.Get()).dwCurrentState == state)
        {
            return true;
        }
        std::this_thread::sleep_for(kPoll);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

void ScopedService::StartRaw()
{
    const ScHandle service = OpenNamedService(m_name, SERVICE_START);
    if (!StartServiceW(service.Get(), 0, nullptr))
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("StartServiceW of '{}' failed", m_name));
    }
}

void ScopedService::StopAndWait()
{
    const ScHandle service = OpenNamedService(m_name, SERVICE_STOP | SERVICE_QUERY_STATUS);
    StopServiceAndWait(service.Get());
}
} // namespace DemoProduct
