#include "sdk/commands/ProductUiLaunch.h"

#include "base/ExitCodes.h"
#include "base/TextConversion.h"
#include "process/ProcessHelper.h"
#include "sdk/Sdk.h"
#include "sdk/commands/ActionFailure.h"

#include <windows.h>

#include <string>

namespace Quelvo
{
using namespace EndpointProtectionSdk;

std::uint32_t LaunchProductUi(std::wstring_view arguments)
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
        ProcessHelper().StartProcess(path, std::wstring(arguments), kProductUiCreationFlags);
        return ERROR_SUCCESS;
    }
    catch (...)
    {
        return ActionFailureCode();
    }
}
} // namespace Quelvo
