#include "sdk/commands/ProtectionCommands.h"

#include "base/DateTime.h"
#include "base/ExitCodes.h"
#include "sdk/Sdk.h"
#include "sdk/commands/ActionFailure.h"

#include <windows.h>

#include <ctime>
#include <string>

namespace Quelvo
{
using namespace EndpointProtectionSdk;

bool IsDisableAllowed(const std::shared_ptr<IEppClient>& client)
{
    const auto configuration = Sdk::CreateConfiguration(client);
    if (!configuration)
    {
        return false;
    }
    SdkStringHolder timestamp;
    if (configuration->GetTimestamp(timestamp.Put()) != ERROR_SUCCESS || timestamp.Text() == nullptr)
    {
        return false;
    }
    const std::string text = timestamp.Text();
    if (text.empty())
    {
        return false;
    }
    const TimeValue allowedFrom = FromString(text);
    const TimeValue now = _time64(nullptr);
    return allowedFrom < now;
}

std::uint32_t SetRealTimeProtection(bool enable)
{
    try
    {
        std::shared_ptr<IEppClient> client;
        if (const auto code = ConnectClient(client); code != ERROR_SUCCESS)
        {
            return code;
        }
        const auto protection = Sdk::CreateRealtimeProtection(client);
        if (!protection)
        {
            return kSdkObjectUnavailable;
        }
        if (enable)
        {
            return protection->Enable();
        }
        if (!IsDisableAllowed(client))
        {
            return ERROR_ACCESS_DENIED;
        }
        return protection->Disable();
    }
    catch (...)
    {
        return ActionFailureCode();
    }
}

std::uint32_t EnableFirewall()
{
    try
    {
        std::shared_ptr<IEppClient> client;
        if (const auto code = ConnectClient(client); code != ERROR_SUCCESS)
        {
            return code;
        }
        const auto configurator = Sdk::CreateFirewallConfigurator(client);
        if (!configurator)
        {
            return kSdkObjectUnavailable;
        }
        bool allowed = false;
        if (const auto code = configurator->IsEnableAllowed(&allowed); code != ERROR_SUCCESS)
        {
            return code;
        }
        if (!allowed)
        {
            return ERROR_ACCESS_DENIED;
        }
        const auto firewall = Sdk::CreateFirewall(client);
        if (!firewall)
        {
            return kSdkObjectUnavailable;
        }
        return firewall->Enable();
    }
    catch (...)
    {
        return ActionFailureCode();
    }
}

std::uint32_t UpdateProduct()
{
    try
    {
        std::shared_ptr<IEppClient> client;
        if (const auto code = ConnectClient(client); code != ERROR_SUCCESS)
        {
            return code;
        }
        const auto updater = Sdk::CreateUpdater(client);
        if (!updater)
        {
            return kSdkObjectUnavailable;
        }
        // The updater's own business: neither set nor read here.
        std::uint64_t output; // NOLINT(cppcoreguidelines-init-variables)
        return updater->StartUpdate("", true, &output);
    }
    catch (...)
    {
        return ActionFailureCode();
    }
}
} // namespace Quelvo
