// The interfaces are called by a library built with another compiler, so what matters is the table the
// compiler lays out: each test builds an object as a C caller would (its first word points at a plain
// array of function pointers, each taking the object first), calls every operation through the
// interface, and checks which slot ran with which arguments.
#include "sdk/EndpointProtectionSdk.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace Quelvo::EndpointProtectionSdk
{
namespace
{
using Slot = void (*)();

struct Call
{
    int slot;
    const void* self;
    std::vector<std::uint64_t> arguments;
};

std::vector<Call>& Calls()
{
    static std::vector<Call> calls;
    return calls;
}

template <class... Arguments>
std::uint32_t Record(int slot, const void* self, Arguments... arguments)
{
    Calls().push_back({slot, self, {static_cast<std::uint64_t>(arguments)...}});
    return 0x100u + static_cast<std::uint32_t>(slot);
}

template <int N>
std::uint32_t NoArguments(void* self)
{
    return Record(N, self);
}

template <class Function>
Slot AsSlot(Function function)
{
    return reinterpret_cast<Slot>(function);
}

// A table of `N` slots, every one recording its own index; tests put typed slots where arguments go.
// The two words before the slots are what GCC's run-time type check reads; calls never touch them.
template <std::size_t N>
struct CTable
{
    template <std::size_t... I>
    explicit CTable(const std::type_info& type, std::index_sequence<I...>)
        : offsetToTop(nullptr), typeInfo(&type), slots{AsSlot(&NoArguments<static_cast<int>(I)>)...}
    {
    }
    explicit CTable(const std::type_info& type) : CTable(type, std::make_index_sequence<N>()) {}

    const void* offsetToTop;
    const void* typeInfo;
    std::array<Slot, N> slots;
};

// The object a C caller would build: one word, the address of the table's first slot.
struct CObject
{
    const Slot* table;
};

template <class Interface, std::size_t N>
Interface* AsInterface(CObject& object, const CTable<N>& table)
{
    object.table = table.slots.data();
    return reinterpret_cast<Interface*>(&object);
}

std::uint64_t Address(const void* pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

class VtableLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override { Calls().clear(); }

    // Runs `call`, then checks that exactly slot `slot` of `object` ran with `arguments`.
    template <class Call>
    void ExpectSlot(const CObject& object, int slot, std::vector<std::uint64_t> arguments, Call call)
    {
        Calls().clear();
        const std::uint32_t result = call();
        ASSERT_EQ(1u, Calls().size()) << "slot " << slot;
        EXPECT_EQ(slot, Calls()[0].slot);
        EXPECT_EQ(&object, Calls()[0].self) << "slot " << slot;
        EXPECT_EQ(arguments, Calls()[0].arguments) << "slot " << slot;
        EXPECT_EQ(0x100u + static_cast<std::uint32_t>(slot), result) << "slot " << slot;
    }
};

// Typed slots: the arguments as the library receives them.
std::uint32_t CreateClientSlot(void* self, void** out, std::uint64_t options)
{
    *out = self;
    return Record(1, self, Address(out), options);
}

template <int N>
std::uint32_t CreateObjectSlot(void* self, void** out, void* client)
{
    *out = client;
    return Record(N, self, Address(out), Address(client));
}

std::uint32_t ConnectSlot(void* self, std::uint32_t value)
{
    return Record(3, self, value);
}

std::uint32_t IsEnableAllowedSlot(void* self, unsigned char* allowed)
{
    const auto before = *allowed;
    *allowed = 1;
    return Record(2, self, Address(allowed), before);
}

std::uint32_t StartUpdateSlot(void* self, const char* text, unsigned char flag, std::uint64_t* output)
{
    return Record(3, self, Address(text), flag, Address(output));
}

template <int N>
std::uint32_t StringSlot(void* self, SdkString* string)
{
    return Record(N, self, Address(string));
}

std::uint32_t LaunchSlot(void* self, const char* path, const char* arguments, std::uint32_t token,
                         std::uint32_t processId, std::uint64_t* output)
{
    return Record(4, self, Address(path), Address(arguments), token, processId, Address(output));
}

TEST_F(VtableLayoutTest, Factory)
{
    CTable<19> table(typeid(IFactory));
    table.slots[1] = AsSlot(&CreateClientSlot);
    for (const int slot : {7, 11, 12, 15, 16, 18})
    {
        table.slots[static_cast<std::size_t>(slot)] = slot == 7    ? AsSlot(&CreateObjectSlot<7>)
                                                      : slot == 11 ? AsSlot(&CreateObjectSlot<11>)
                                                      : slot == 12 ? AsSlot(&CreateObjectSlot<12>)
                                                      : slot == 15 ? AsSlot(&CreateObjectSlot<15>)
                                                      : slot == 16 ? AsSlot(&CreateObjectSlot<16>)
                                                                   : AsSlot(&CreateObjectSlot<18>);
    }
    CObject object{};
    IFactory* factory = AsInterface<IFactory>(object, table);
    auto* client = reinterpret_cast<IEppClient*>(std::uintptr_t{0x1234560});

    IEppClient* created = nullptr;
    ExpectSlot(object, 1, {Address(&created), 0x8877665544332211u},
               [&] { return factory->CreateEppClient(&created, 0x8877665544332211u); });
    EXPECT_EQ(static_cast<const void*>(&object), created);

    IRealTimeProtection* protection = nullptr;
    ExpectSlot(object, 7, {Address(&protection), Address(client)},
               [&] { return factory->CreateRealtimeProtection(&protection, client); });
    EXPECT_EQ(static_cast<const void*>(client), protection);
    IFirewall* firewall = nullptr;
    ExpectSlot(object, 11, {Address(&firewall), Address(client)},
               [&] { return factory->CreateFirewall(&firewall, client); });
    IFirewallConfigurator* configurator = nullptr;
    ExpectSlot(object, 12, {Address(&configurator), Address(client)},
               [&] { return factory->CreateFirewallConfigurator(&configurator, client); });
    ITrustedProcessLauncher* launcher = nullptr;
    ExpectSlot(object, 15, {Address(&launcher), Address(client)},
               [&] { return factory->CreateTrustedProcessLauncher(&launcher, client); });
    IUpdater* updater = nullptr;
    ExpectSlot(object, 16, {Address(&updater), Address(client)},
               [&] { return factory->CreateUpdater(&updater, client); });
    IConfiguration* configuration = nullptr;
    ExpectSlot(object, 18, {Address(&configuration), Address(client)},
               [&] { return factory->CreateConfiguration(&configuration, client); });

    ExpectSlot(object, 0, {}, [&] { return factory->Reserved0(); });
    ExpectSlot(object, 17, {}, [&] { return factory->Reserved17(); });
}

TEST_F(VtableLayoutTest, ClientAndWorkingObjects)
{
    CTable<4> clientTable(typeid(IEppClient));
    clientTable.slots[3] = AsSlot(&ConnectSlot);
    CObject clientObject{};
    IEppClient* client = AsInterface<IEppClient>(clientObject, clientTable);
    ExpectSlot(clientObject, 1, {}, [&] { return client->Release(); });
    ExpectSlot(clientObject, 3, {10000}, [&] { return client->Connect(10000); });

    CTable<4> protectionTable(typeid(IRealTimeProtection));
    CObject protectionObject{};
    IRealTimeProtection* protection = AsInterface<IRealTimeProtection>(protectionObject, protectionTable);
    ExpectSlot(protectionObject, 1, {}, [&] { return protection->Release(); });
    ExpectSlot(protectionObject, 2, {}, [&] { return protection->Enable(); });
    ExpectSlot(protectionObject, 3, {}, [&] { return protection->Disable(); });

    CTable<3> firewallTable(typeid(IFirewall));
    CObject firewallObject{};
    IFirewall* firewall = AsInterface<IFirewall>(firewallObject, firewallTable);
    ExpectSlot(firewallObject, 1, {}, [&] { return firewall->Release(); });
    ExpectSlot(firewallObject, 2, {}, [&] { return firewall->Enable(); });

    CTable<3> configuratorTable(typeid(IFirewallConfigurator));
    configuratorTable.slots[2] = AsSlot(&IsEnableAllowedSlot);
    CObject configuratorObject{};
    auto* configurator = AsInterface<IFirewallConfigurator>(configuratorObject, configuratorTable);
    bool allowed = false;
    ExpectSlot(configuratorObject, 1, {}, [&] { return configurator->Release(); });
    ExpectSlot(configuratorObject, 2, {Address(&allowed), 0},
               [&] { return configurator->IsEnableAllowed(&allowed); });
    EXPECT_TRUE(allowed);
}

TEST_F(VtableLayoutTest, UpdaterConfigurationAndLauncher)
{
    CTable<4> updaterTable(typeid(IUpdater));
    updaterTable.slots[3] = AsSlot(&StartUpdateSlot);
    CObject updaterObject{};
    IUpdater* updater = AsInterface<IUpdater>(updaterObject, updaterTable);
    const char* text = "";
    std::uint64_t output;
    ExpectSlot(updaterObject, 1, {}, [&] { return updater->Release(); });
    ExpectSlot(updaterObject, 3, {Address(text), 1, Address(&output)},
               [&] { return updater->StartUpdate(text, true, &output); });

    CTable<24> configurationTable(typeid(IConfiguration));
    configurationTable.slots[6] = AsSlot(&StringSlot<6>);
    configurationTable.slots[23] = AsSlot(&StringSlot<23>);
    CObject configurationObject{};
    auto* configuration = AsInterface<IConfiguration>(configurationObject, configurationTable);
    SdkString string{};
    ExpectSlot(configurationObject, 1, {}, [&] { return configuration->Release(); });
    ExpectSlot(configurationObject, 6, {Address(&string)}, [&] { return configuration->GetUiPath(&string); });
    ExpectSlot(configurationObject, 23, {Address(&string)},
               [&] { return configuration->GetTimestamp(&string); });
    ExpectSlot(configurationObject, 22, {}, [&] { return configuration->Reserved22(); });

    CTable<5> launcherTable(typeid(ITrustedProcessLauncher));
    launcherTable.slots[4] = AsSlot(&LaunchSlot);
    CObject launcherObject{};
    auto* launcher = AsInterface<ITrustedProcessLauncher>(launcherObject, launcherTable);
    const char* path = "C:\\tool.exe";
    const char* arguments = "/av /trusted";
    ExpectSlot(launcherObject, 1, {}, [&] { return launcher->Release(); });
    ExpectSlot(launcherObject, 4, {Address(path), Address(arguments), 0xFFFFFFF0u, 4242u, Address(&output)},
               [&] { return launcher->Launch(path, arguments, 0xFFFFFFF0u, 4242u, &output); });
}
} // namespace
} // namespace Quelvo::EndpointProtectionSdk
