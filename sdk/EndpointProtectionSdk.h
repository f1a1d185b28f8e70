// The interfaces of the product's client library. The library is built with another compiler and is
// reached only through virtual-table positions, so each interface below is a pure abstract struct whose
// table has exactly the library's positions under MSVC and GCC alike:
// - no virtual destructor (GCC would give it two slots, MSVC one); objects go back through Release;
// - no overloaded virtual functions (compilers order overloads differently);
// - a placeholder for every position the tool does not call, so the positions it calls stay put.
// Every result is a Win32-style code, 0 for success.
#pragma once

#include "sdk/SdkString.h"

#include <cstdint>

namespace Quelvo::EndpointProtectionSdk
{
struct IEppClient
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Reserved2() = 0;
    virtual std::uint32_t Connect(std::uint32_t value) = 0;

protected:
    ~IEppClient() = default;
};

struct IRealTimeProtection
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Enable() = 0;
    virtual std::uint32_t Disable() = 0;

protected:
    ~IRealTimeProtection() = default;
};

struct IFirewall
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Enable() = 0;

protected:
    ~IFirewall() = default;
};

struct IFirewallConfigurator
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t IsEnableAllowed(bool* allowed) = 0;

protected:
    ~IFirewallConfigurator() = default;
};

struct IUpdater
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Reserved2() = 0;
    virtual std::uint32_t StartUpdate(const char* text, bool flag, std::uint64_t* output) = 0;

protected:
    ~IUpdater() = default;
};

struct IConfiguration
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Reserved2() = 0;
    virtual std::uint32_t Reserved3() = 0;
    virtual std::uint32_t Reserved4() = 0;
    virtual std::uint32_t Reserved5() = 0;
    virtual std::uint32_t GetUiPath(SdkString* path) = 0;
    virtual std::uint32_t Reserved7() = 0;
    virtual std::uint32_t Reserved8() = 0;
    virtual std::uint32_t Reserved9() = 0;
    virtual std::uint32_t Reserved10() = 0;
    virtual std::uint32_t Reserved11() = 0;
    virtual std::uint32_t Reserved12() = 0;
    virtual std::uint32_t Reserved13() = 0;
    virtual std::uint32_t Reserved14() = 0;
    virtual std::uint32_t Reserved15() = 0;
    virtual std::uint32_t Reserved16() = 0;
    virtual std::uint32_t Reserved17() = 0;
    virtual std::uint32_t Reserved18() = 0;
    virtual std::uint32_t Reserved19() = 0;
    virtual std::uint32_t Reserved20() = 0;
    virtual std::uint32_t Reserved21() = 0;
    virtual std::uint32_t Reserved22() = 0;
    virtual std::uint32_t GetTimestamp(SdkString* timestamp) = 0;

protected:
    ~IConfiguration() = default;
};

struct ITrustedProcessLauncher
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t Release() = 0;
    virtual std::uint32_t Reserved2() = 0;
    virtual std::uint32_t Reserved3() = 0;
    // Starts `imagePath` with `arguments`, under the primary token `token`, on behalf of `processId`.
    virtual std::uint32_t Launch(const char* imagePath, const char* arguments, std::uint32_t token,
                                 std::uint32_t processId, std::uint64_t* output) = 0;

protected:
    ~ITrustedProcessLauncher() = default;
};

// Handed out by the library's export; never released.
struct IFactory
{
    virtual std::uint32_t Reserved0() = 0;
    virtual std::uint32_t CreateEppClient(IEppClient** client, std::uint64_t options) = 0;
    virtual std::uint32_t Reserved2() = 0;
    virtual std::uint32_t Reserved3() = 0;
    virtual std::uint32_t Reserved4() = 0;
    virtual std::uint32_t Reserved5() = 0;
    virtual std::uint32_t Reserved6() = 0;
    virtual std::uint32_t CreateRealtimeProtection(IRealTimeProtection** object, IEppClient* client) = 0;
    virtual std::uint32_t Reserved8() = 0;
    virtual std::uint32_t Reserved9() = 0;
    virtual std::uint32_t Reserved10() = 0;
    virtual std::uint32_t CreateFirewall(IFirewall** object, IEppClient* client) = 0;
    virtual std::uint32_t CreateFirewallConfigurator(IFirewallConfigurator** object, IEppClient* client) = 0;
    virtual std::uint32_t Reserved13() = 0;
    virtual std::uint32_t Reserved14() = 0;
    virtual std::uint32_t CreateTrustedProcessLauncher(ITrustedProcessLauncher** object,
                                                       IEppClient* client) = 0;
    virtual std::uint32_t CreateUpdater(IUpdater** object, IEppClient* client) = 0;
    virtual std::uint32_t Reserved17() = 0;
    virtual std::uint32_t CreateConfiguration(IConfiguration** object, IEppClient* client) = 0;

protected:
    ~IFactory() = default;
};

// The library's one export.
using FactoryFunction = IFactory* (*)();
inline constexpr char kFactoryExportName[] = "GetEndpointProtectionClientFactory";
inline constexpr wchar_t kClientLibraryName[] = L"endpointprotectionclient.dll";
} // namespace Quelvo::EndpointProtectionSdk
