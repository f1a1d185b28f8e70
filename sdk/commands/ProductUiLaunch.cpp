#include "sdk/commands/ProductUiLaunch.h"

#include "base/ExitCodes.h"
#include "base/TextConversion.h"
#include "process/ProcessHelper.h"
#include "sdk/Sdk.h"

#include <windows.h>

#include <exception>
#include <new>
#include <stdexcept>

namespace Quelvo
{
using namespace EndpointProtectionSdk;

std::uint32_t LaunchProductUi(const std::wstring& arguments)
{
    try
    {
        std::shared_ptr<IEppClient> client;
        if (const auto code = ConnectClient(client); code != ERROR_SUCCESS)
        {
            return code;
        }
        const auto configuration = Sdk::CreateConfiguration(client);
        if (!configuration)
        {
            return kSdkObjectUnavailable;
        }
        SdkStringHolder uiPath;
        if (const auto code = configuration->GetUiPath(uiPath.Put()); code != ERROR_SUCCESS)
        {
            return code;
        }
        if (uiPath.Text() == nullptr)
        {
            return ERROR_SUCCESS;
        }
        const std::wstring path = Utf16FromUtf8(std::string(uiPath.Text()));
        ProcessHelper().StartProcess(path, arguments, kProductUiCreationFlags);
        return ERROR_SUCCESS;
    }
    catch (const std::runtime_error&)
    {
        return kActionFailed;
    }
    // Past the failures the action reports as its own, nothing may end the process: a failed
    // allocation is reported as such, anything else as a failed action.
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    catch (const std::exception&)
    {
        return kActionFailed;
    }
}
} // namespace Quelvo
