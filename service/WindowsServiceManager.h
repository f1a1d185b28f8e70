// IWindowsServiceManager over the Service Control Manager. It keeps no handles between calls: every
// operation opens what it needs and closes it before it returns or throws.
#pragma once

#include "os/IOsInfo.h"
#include "process/IProcessHelper.h"
#include "service/IWindowsServiceManager.h"
#include "service/ScHandle.h"

#include <exception>
#include <memory>
#include <string>

namespace Quelvo
{
class WindowsServiceManager : public IWindowsServiceManager
{
public:
    // OpenServiceW reported ERROR_SERVICE_DOES_NOT_EXIST for the named service.
    class ServiceDoesNotExist : public std::exception
    {
    public:
        explicit ServiceDoesNotExist(const std::wstring& name);
        const char* what() const noexcept override;

    private:
        std::string m_message;
    };

    WindowsServiceManager();
    WindowsServiceManager(const WindowsServiceManager&) = delete;
    WindowsServiceManager& operator=(const WindowsServiceManager&) = delete;
    ~WindowsServiceManager() override;

    void Start(const std::wstring& name, const std::chrono::seconds& timeout,
               const std::vector<std::wstring>& arguments) override;
    void Start(const std::wstring& name, const std::vector<std::wstring>& arguments,
               std::chrono::seconds timeout) override;
    bool Exists(const std::wstring& name) override;
    bool IsRunning(const std::wstring& name) override;
    bool IsStopped(const std::wstring& name) override;
    void QueryStatus(const std::wstring& name, SERVICE_STATUS_PROCESS& status) override;
    bool WaitUntilRunning(const std::wstring& name, const std::chrono::seconds& timeout) override;
    bool WaitUntilStopped(const std::wstring& name, const std::chrono::seconds& timeout) override;
    void Stop(const std::wstring& name) override;
    FileVersion GetServiceVersion(const std::wstring& name) override;

private:
    // Waits until the start registered (start-pending or running), then follows the service's process
    // until the service runs.
    void WaitForStart(const std::wstring& name, const ScHandle& service, const std::chrono::seconds& timeout);
    FileVersion VersionOfFile(const std::wstring& path);
    FileVersion VersionFromConfig(const std::wstring& name);

    std::shared_ptr<IOsInfo> m_osInfo;
    std::shared_ptr<IProcessHelper> m_processHelper;
};
} // namespace Quelvo
