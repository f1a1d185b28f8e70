#include "service/ServiceRecovery.h"

#include "base/ExitCodes.h"
#include "service/ServiceError.h"
#include "service/WindowsServiceManager.h"

#include <memory>
#include <new>
#include <system_error>
#include <vector>

namespace Quelvo
{
namespace
{
// Plain arrays, not std::wstring: nothing may allocate before the entry point, where a failure could
// only abort.
constexpr wchar_t kPrimaryService[] = L"EndpointProtectionService";
constexpr wchar_t kAlternativeService[] = L"EndpointProtectionService2";
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
    DWORD code = ERROR_SUCCESS;
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
    // Each failure's code as it stood where it was raised: the throw itself may clear the thread's last
    // error on its way here (the shipped runtime's unwinder does).
    catch (const std::system_error& error)
    {
        code = static_cast<DWORD>(error.code().value());
    }
    catch (const WindowsServiceManager::ServiceDoesNotExist&)
    {
        code = ERROR_SERVICE_DOES_NOT_EXIST;
    }
    catch (const ServiceError& error)
    {
        // The time-outs and the unexpected-state report set no last error of their own: the value the
        // thread held then, often that of a failed poll or wait.
        code = error.LastError();
    }
    catch (const std::bad_alloc&)
    {
        code = ERROR_NOT_ENOUGH_MEMORY;
    }
    catch (const std::exception&)
    {
        code = GetLastError();
    }
    // A service that did not start is never reported as recovered.
    return code != ERROR_SUCCESS ? code : kServiceDidNotStart;
}
} // namespace Quelvo
