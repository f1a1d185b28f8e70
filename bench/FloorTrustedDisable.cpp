// The floor of "/av /disable /trusted": the configuration's time stamp, then Disable (the time stamp is
// taken to lie in the past; the floor does not parse it).
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace Floor;
    LowerCasedCommandLine();
    return static_cast<int>(WithClient(
        [](IFactory& factory, IEppClient* client)
        {
            return WithObject<IRealTimeProtection>(
                [&](IRealTimeProtection** object)
                { return factory.CreateRealtimeProtection(object, client); },
                [&](IRealTimeProtection& protection)
                {
                    const DWORD asked = WithObject<IConfiguration>(
                        [&](IConfiguration** object) { return factory.CreateConfiguration(object, client); },
                        [](IConfiguration& configuration)
                        {
                            SdkString timestamp{};
                            const DWORD result = configuration.GetTimestamp(&timestamp);
                            Release(timestamp);
                            return result;
                        });
                    return asked != 0 ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : protection.Disable();
                });
        }));
}
