// Creation of SDK objects through the library's factory. Objects are owned only as std::shared_ptr
// made by Sdk::MakeShared: the last owner calls the object's Release, and when no SDK object is left
// the library is unloaded, after the last call into it has returned.
#pragma once

#include "sdk/EndpointProtectionSdk.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace Quelvo::EndpointProtectionSdk
{
class Sdk
{
public:
    // A creation callable: runs one creation operation of the factory into the slot, returns its code.
    template <class T>
    using Creator = std::function<std::uint32_t(IFactory* const factory, T** object)>;

    static std::shared_ptr<IEppClient> CreateEppClient(std::uint64_t options);
    static std::shared_ptr<IRealTimeProtection> CreateRealtimeProtection(std::shared_ptr<IEppClient> client);
    static std::shared_ptr<IFirewall> CreateFirewall(std::shared_ptr<IEppClient> client);
    static std::shared_ptr<IFirewallConfigurator> CreateFirewallConfigurator(
        std::shared_ptr<IEppClient> client);
    static std::shared_ptr<ITrustedProcessLauncher> CreateTrustedProcessLauncher(
        std::shared_ptr<IEppClient> client);
    static std::shared_ptr<IUpdater> CreateUpdater(std::shared_ptr<IEppClient> client);
    static std::shared_ptr<IConfiguration> CreateConfiguration(std::shared_ptr<IEppClient> client);

    // Number of SDK objects owned through MakeShared right now.
    static std::int32_t LiveObjectCount() { return s_liveObjectCount.load(); }

protected:
    template <class T>
    static std::shared_ptr<T> MakeShared(T* object)
    {
        ++s_liveObjectCount;
        return std::shared_ptr<T>(object,
                                  [](T* owned)
                                  {
                                      --s_liveObjectCount;
                                      owned->Release();
                                      if (s_liveObjectCount.load() == 0)
                                      {
                                          OnLastObjectReleased();
                                      }
                                  });
    }

private:
    template <class T>
    static std::shared_ptr<T> Create(const Creator<T>& creator);

    // Unloads the library.
    static void OnLastObjectReleased();

    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): one count for the whole process
    static std::atomic<std::int32_t> s_liveObjectCount;
};

// Creates a client and connects it; on success moves it into `client`. 31 when no client could be
// created, the nonzero Connect result when connecting failed, otherwise 0.
std::uint32_t ConnectClient(std::shared_ptr<IEppClient>& client);
} // namespace Quelvo::EndpointProtectionSdk
