#include "service/ServiceRecovery.h"

#include "base/ExitCodes.h"
#include "service/WindowsServiceManager.h"

#include <memory>
#include <system_error>
#include <vector>

namespace Quelvo
{
namespace
{
const std::wstring kPrimaryService = L"EndpointProtectionService";
const std::wstring kAlternativeService = L"EndpointProtectionService2";
constexpr std::chrono::seconds kRecoveryStartTimeout{900};

bool IsHealthy(DWORD state)
{
    return state == SERVICE_START_PENDING || state == SERVICE_RUNNING;
}
} // namespace

bool IsServiceAvailable()
{
    try
    {
        const std::shared_ptr<IWindowsServiceManager> manager = std::make_shared<WindowsServiceManager>();
        if (!manager->Exists(kPrimaryService))
        {
            return false;
        }
        SERVICE_STATUS_PROCESS status{};
        manager->QueryStatus(kPrimaryService, status);
        if (IsHealthy(status.dwCurrentState))
        {
            return true;
        }
        manager->QueryStatus(kAlternativeService, status);
        return IsHealthy(status.dwCurrentState);
    }
    catch (const std::system_error& error)
    {
        // A service we may not query is still taken to be up; the command then goes to the product.
        return error.code().value() == ERROR_ACCESS_DENIED;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

std::uint32_t RecoverService()
{
    try
    {
        const std::shared_ptr<IWindowsServiceManager> manager = std::make_shared<WindowsServiceManager>();
        if (!manager->Exists(kPrimaryService))
        {
            return ERROR_SERVICE_DOES_NOT_EXIST;
        }
        manager->Start(kPrimaryService, std::vector<std::wstring>{}, kRecoveryStartTimeout);
        return ERROR_SUCCESS;
    }
    catch (const std::system_error& error)
    {
        // The failed call's own code: throwing may change the thread's last error on its way here (the
        // C++ runtime's unwinder does under Wine).
        const auto code = static_cast<DWORD>(error.code().value());
        return code != ERROR_SUCCESS ? code : kServiceDidNotStart;
    }
    catch (const std::exception&)
    {
        // The time-outs and the unexpected-state report set no last error of their own, so the value
        // may be 0; a service that did not start must never be reported as recovered.
        const DWORD lastError = GetLastError();
        return lastError != ERROR_SUCCESS ? lastError : kServiceDidNotStart;
    }
}
} // namespace Quelvo
