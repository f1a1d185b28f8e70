// Services named by their key name, through the Service Control Manager. Slot order is part of the
// interface; operations built on others call them through it.
#pragma once

#include "service/FileVersion.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace Quelvo
{
class IWindowsServiceManager
{
public:
    virtual ~IWindowsServiceManager() = default;

    virtual void Start(const std::wstring& name, const std::chrono::seconds& timeout,
                       const std::vector<std::wstring>& arguments) = 0;
    virtual void Start(const std::wstring& name, const std::vector<std::wstring>& arguments,
                       std::chrono::seconds timeout) = 0;
    virtual bool Exists(const std::wstring& name) = 0;
    virtual bool IsRunning(const std::wstring& name) = 0;
    virtual bool IsStopped(const std::wstring& name) = 0;
    virtual void QueryStatus(const std::wstring& name, SERVICE_STATUS_PROCESS& status) = 0;
    virtual bool WaitUntilRunning(const std::wstring& name, const std::chrono::seconds& timeout) = 0;
    virtual bool WaitUntilStopped(const std::wstring& name, const std::chrono::seconds& timeout) = 0;
    virtual void Stop(const std::wstring& name) = 0;
    virtual FileVersion GetServiceVersion(const std::wstring& name) = 0;
};
} // namespace Quelvo
