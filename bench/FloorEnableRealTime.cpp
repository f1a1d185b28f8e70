// The floor of "/av /enable" with the product service running: the service check, then Enable.
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
            return WithObject<IRealTimeProtection>(
                [&](IRealTimeProtection** object)
                { return factory.CreateRealtimeProtection(object, client); },
                [](IRealTimeProtection& protection) { return protection.Enable(); });
        }));
}
