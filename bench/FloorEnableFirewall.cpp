// The floor of "/fw /enable" with the product service running: the service check, the configurator's
// permission, then the firewall's Enable.
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace Floor;
    LowerCasedCommandLine();
    if (!ProductServiceRunning())
    {
        return ERROR_SERVICE_NOT_ACTIVE;
    }
    return static_cast<int>(WithClient(
        [](IFactory& factory, IEppClient* client)
        {
            bool allowed = false;
            const DWORD asked = WithObject<IFirewallConfigurator>(
                [&](IFirewallConfigurator** object)
                { return factory.CreateFirewallConfigurator(object, client); },
                [&](IFirewallConfigurator& configurator) { return configurator.IsEnableAllowed(&allowed); });
            if (asked != 0 || !allowed)
            {
                return asked != 0 ? asked : static_cast<DWORD>(ERROR_ACCESS_DENIED);
            }
            return WithObject<IFirewall>([&](IFirewall** object)
                                         { return factory.CreateFirewall(object, client); },
                                         [](IFirewall& firewall) { return firewall.Enable(); });
        }));
}
