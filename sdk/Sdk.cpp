#include "sdk/Sdk.h"

#include "base/ExitCodes.h"
#include "sdk/ClientLibrary.h"

#include <windows.h>

namespace Quelvo::EndpointProtectionSdk
{
namespace
{
// The value the client is connected with.
constexpr std::uint32_t kConnectValue = 10000;
} // namespace

// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): one count for the whole process
std::atomic<std::int32_t> Sdk::s_liveObjectCount{0};

void Sdk::OnLastObjectReleased()
{
    UnloadClientLibrary();
}

template <class T>
std::shared_ptr<T> Sdk::Create(const Creator<T>& creator)
{
    IFactory* const factory = AcquireFactory();
    T* object = nullptr;
    const std::uint32_t code = factory != nullptr ? creator(factory, &object) : ERROR_GEN_FAILURE;
    if (code == ERROR_SUCCESS && object != nullptr)
    {
        return MakeShared(object);
    }
    // Nothing was made: a library loaded for this creation alone does not stay loaded.
    if (LiveObjectCount() == 0)
    {
        UnloadClientLibrary();
    }
    return nullptr;
}

std::shared_ptr<IEppClient> Sdk::CreateEppClient(std::uint64_t options)
{
    return Create<IEppClient>([&options](IFactory* const factory, IEppClient** object)
                              { return factory->CreateEppClient(object, options); });
}

std::shared_ptr<IRealTimeProtection> Sdk::CreateRealtimeProtection(std::shared_ptr<IEppClient> client)
{
    return Create<IRealTimeProtection>([&client](IFactory* const factory, IRealTimeProtection** object)
                                       { return factory->CreateRealtimeProtection(object, client.get()); });
}

std::shared_ptr<IFirewall> Sdk::CreateFirewall(std::shared_ptr<IEppClient> client)
{
    return Create<IFirewall>([&client](IFactory* const factory, IFirewall** object)
                             { return factory->CreateFirewall(object, client.get()); });
}

std::shared_ptr<IFirewallConfigurator> Sdk::CreateFirewallConfigurator(std::shared_ptr<IEppClient> client)
{
    return Create<IFirewallConfigurator>(
        [&client](IFactory* const factory, IFirewallConfigurator** object)
        { return factory->CreateFirewallConfigurator(object, client.get()); });
}

std::shared_ptr<ITrustedProcessLauncher> Sdk::CreateTrustedProcessLauncher(std::shared_ptr<IEppClient> client)
{
    return Create<ITrustedProcessLauncher>(
        [&client](IFactory* const factory, ITrustedProcessLauncher** object)
        { return factory->CreateTrustedProcessLauncher(object, client.get()); });
}

std::shared_ptr<IUpdater> Sdk::CreateUpdater(std::shared_ptr<IEppClient> client)
{
    return Create<IUpdater>([&client](IFactory* const factory, IUpdater** object)
                            { return factory->CreateUpdater(object, client.get()); });
}

std::shared_ptr<IConfiguration> Sdk::CreateConfiguration(std::shared_ptr<IEppClient> client)
{
    return Create<IConfiguration>([&client](IFactory* const factory, IConfiguration** object)
                                  { return factory->CreateConfiguration(object, client.get()); });
}

std::uint32_t ConnectClient(std::shared_ptr<IEppClient>& client)
{
    auto created = Sdk::CreateEppClient(0);
    if (!created)
    {
        return kNoClient;
    }
    const std::uint32_t code = created->Connect(kConnectValue);
    if (code != ERROR_SUCCESS)
    {
        return code;
    }
    client = std::move(created);
    return ERROR_SUCCESS;
}
} // namespace Quelvo::EndpointProtectionSdk
