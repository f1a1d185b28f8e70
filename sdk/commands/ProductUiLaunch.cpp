#include "sdk/commands/ProductUiLaunch.h"

#include "base/ExitCodes.h"
#include "base/TextConversion.h"
#include "process/ProcessHelper.h"
#include "sdk/Sdk.h"
#include "sdk/commands/ActionResult.h"

#include <windows.h>

namespace Quelvo
{
using namespace EndpointProtectionSdk;

std::uint32_t LaunchProductUi(const std::wstring& arguments)
{
    return ActionResult(
        [&]() -> std::uint32_t
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
        });
}
} // namespace Quelvo
