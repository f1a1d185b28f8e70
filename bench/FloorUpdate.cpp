// The floor of "/update": the updater's StartUpdate.
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace Floor;
    LowerCasedCommandLine();
    return static_cast<int>(WithClient(
        [](IFactory& factory, IEppClient* client)
        {
            return WithObject<IUpdater>([&](IUpdater** object)
                                        { return factory.CreateUpdater(object, client); },
                                        [](IUpdater& updater)
                                        {
                                            std::uint64_t output = 0;
                                            return updater.StartUpdate("", true, &output);
                                        });
        }));
}
