#include "support/FakeProduct.h"

#include <cstring>
#include <map>
#include <memory>

namespace Quelvo::testing
{
namespace
{
using namespace EndpointProtectionSdk;

FakeProduct& Product()
{
    return FakeProduct::Instance();
}

thread_local int productDepth = 0;

// Marks the code of the library for the length of one entry into it (see FakeProduct::IsRunning).
class ProductCode
{
public:
    ProductCode() { ++productDepth; }
    ~ProductCode() { --productDepth; }
    ProductCode(const ProductCode&) = delete;
    ProductCode& operator=(const ProductCode&) = delete;
};

// A slot the tool must never call: the call is journalled so that a test sees it.
#define FAKE_RESERVED(n)                                                                                     \
    std::uint32_t Reserved##n() override                                                                     \
    {                                                                                                        \
        const ProductCode running;                                                                           \
        Product().Record(m_name + ".Reserved" #n "()");                                                      \
        return 0xDEAD;                                                                                       \
    }

// The name and the Release of every object the factory makes.
class ObjectName
{
public:
    explicit ObjectName(const std::string& kind) : m_name(kind + "#" + std::to_string(++s_next))
    {
        ++Product().liveObjects;
    }

    const std::string& Name() const { return m_name; }

    static void ResetNumbers() { s_next = 0; }

protected:
    // Release as the library implements it: the object is gone afterwards.
    template <class Self>
    static std::uint32_t ReleaseObject(Self* self)
    {
        const ProductCode running;
        Product().Record("release " + self->m_name);
        --Product().liveObjects;
        delete self;
        return 0;
    }

    std::string m_name;

private:
    static inline int s_next = 0;
};

std::string NameOf(IEppClient* client);

class FakeClient final : public IEppClient, public ObjectName
{
public:
    FakeClient() : ObjectName("EppClient") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    FAKE_RESERVED(2)
    std::uint32_t Connect(std::uint32_t value) override
    {
        const ProductCode running;
        Product().Record(m_name + ".Connect(" + std::to_string(value) + ")");
        return Product().Result("Connect");
    }
};

std::string NameOf(IEppClient* client)
{
    return client != nullptr ? static_cast<FakeClient*>(client)->Name() : "null";
}

class FakeRealTimeProtection final : public IRealTimeProtection, public ObjectName
{
public:
    FakeRealTimeProtection() : ObjectName("RealTimeProtection") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t Enable() override
    {
        const ProductCode running;
        Product().Record(m_name + ".Enable()");
        return Product().Result("Enable");
    }
    std::uint32_t Disable() override
    {
        const ProductCode running;
        Product().Record(m_name + ".Disable()");
        return Product().Result("Disable");
    }
};

class FakeFirewall final : public IFirewall, public ObjectName
{
public:
    FakeFirewall() : ObjectName("Firewall") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t Enable() override
    {
        const ProductCode running;
        Product().Record(m_name + ".Enable()");
        return Product().Result("FirewallEnable");
    }
};

class FakeFirewallConfigurator final : public IFirewallConfigurator, public ObjectName
{
public:
    FakeFirewallConfigurator() : ObjectName("FirewallConfigurator") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t IsEnableAllowed(bool* allowed) override
    {
        const ProductCode running;
        Product().Record(m_name + ".IsEnableAllowed(" + (*allowed ? "true" : "false") + ")");
        *allowed = Product().script.firewallAllowed;
        return Product().Result("IsEnableAllowed");
    }
};

class FakeUpdater final : public IUpdater, public ObjectName
{
public:
    FakeUpdater() : ObjectName("Updater") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    FAKE_RESERVED(2)
    std::uint32_t StartUpdate(const char* text, bool flag, std::uint64_t* output) override
    {
        const ProductCode running;
        Product().Record(m_name + ".StartUpdate(\"" + text + "\", " + (flag ? "true" : "false") + ", " +
                         (output != nullptr ? "slot" : "null") + ")");
        return Product().Result("StartUpdate");
    }
};

class FakeConfiguration final : public IConfiguration, public ObjectName
{
public:
    FakeConfiguration() : ObjectName("Configuration") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    FAKE_RESERVED(2)
    FAKE_RESERVED(3)
    FAKE_RESERVED(4)
    FAKE_RESERVED(5)
    std::uint32_t GetUiPath(SdkString* path) override
    {
        const ProductCode running;
        Product().Record(m_name + ".GetUiPath()");
        Product().FillString(path, Product().script.uiPath, "ui path");
        return Product().Result("GetUiPath");
    }
    FAKE_RESERVED(7)
    FAKE_RESERVED(8)
    FAKE_RESERVED(9)
    FAKE_RESERVED(10)
    FAKE_RESERVED(11)
    FAKE_RESERVED(12)
    FAKE_RESERVED(13)
    FAKE_RESERVED(14)
    FAKE_RESERVED(15)
    FAKE_RESERVED(16)
    FAKE_RESERVED(17)
    FAKE_RESERVED(18)
    FAKE_RESERVED(19)
    FAKE_RESERVED(20)
    FAKE_RESERVED(21)
    FAKE_RESERVED(22)
    std::uint32_t GetTimestamp(SdkString* timestamp) override
    {
        const ProductCode running;
        Product().Record(m_name + ".GetTimestamp()");
        Product().FillString(timestamp, Product().script.timestamp, "timestamp");
        return Product().Result("GetTimestamp");
    }
};

class FakeLauncher final : public ITrustedProcessLauncher, public ObjectName
{
public:
    FakeLauncher() : ObjectName("Launcher") {}
    FAKE_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    FAKE_RESERVED(2)
    FAKE_RESERVED(3)
    std::uint32_t Launch(const char* imagePath, const char* arguments, std::uint32_t token,
                         std::uint32_t processId, std::uint64_t* output) override
    {
        const ProductCode running;
        Product().Record(m_name + ".Launch(" + std::string(output != nullptr ? "slot" : "null") + ")");
        LaunchCall call{imagePath, arguments, token, processId};
        Product().lastLaunch = call;
        if (Product().onLaunch)
        {
            Product().onLaunch(call);
        }
        return Product().Result("Launch");
    }
};

class FakeFactory final : public IFactory
{
public:
    FAKE_RESERVED(0)
    std::uint32_t CreateEppClient(IEppClient** client, std::uint64_t options) override
    {
        const ProductCode running;
        return Make<FakeClient>("CreateEppClient", "options=" + std::to_string(options), client);
    }
    FAKE_RESERVED(2)
    FAKE_RESERVED(3)
    FAKE_RESERVED(4)
    FAKE_RESERVED(5)
    FAKE_RESERVED(6)
    std::uint32_t CreateRealtimeProtection(IRealTimeProtection** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeRealTimeProtection>("CreateRealtimeProtection", NameOf(client), object);
    }
    FAKE_RESERVED(8)
    FAKE_RESERVED(9)
    FAKE_RESERVED(10)
    std::uint32_t CreateFirewall(IFirewall** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeFirewall>("CreateFirewall", NameOf(client), object);
    }
    std::uint32_t CreateFirewallConfigurator(IFirewallConfigurator** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeFirewallConfigurator>("CreateFirewallConfigurator", NameOf(client), object);
    }
    FAKE_RESERVED(13)
    FAKE_RESERVED(14)
    std::uint32_t CreateTrustedProcessLauncher(ITrustedProcessLauncher** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeLauncher>("CreateTrustedProcessLauncher", NameOf(client), object);
    }
    std::uint32_t CreateUpdater(IUpdater** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeUpdater>("CreateUpdater", NameOf(client), object);
    }
    FAKE_RESERVED(17)
    std::uint32_t CreateConfiguration(IConfiguration** object, IEppClient* client) override
    {
        const ProductCode running;
        return Make<FakeConfiguration>("CreateConfiguration", NameOf(client), object);
    }

private:
    template <class Object, class Interface>
    std::uint32_t Make(const std::string& operation, const std::string& argument, Interface** out)
    {
        const auto code = Product().Result(operation);
        if (code != 0 || Product().script.nullObjects.count(operation) != 0)
        {
            Product().Record(operation + "(" + argument + ") -> none");
            return code;
        }
        auto* object = new Object();
        Product().Record(operation + "(" + argument + ") -> " + object->Name());
        *out = object;
        return 0;
    }

    const std::string m_name = "Factory";
};

#undef FAKE_RESERVED

// A string handed out: the owner record the release functions receive.
struct StringOwner
{
    std::string text;
    std::string what;
    int releases = 0;
};

void ReleaseString(StringOwner* owner, const char* how)
{
    const ProductCode running;
    if (++owner->releases > 1)
    {
        ++Product().doubleReleases;
        return;
    }
    Product().Record(std::string("string release ") + how + " " + owner->what);
    --Product().liveStrings;
}

void ReleaseOne(void* owner)
{
    ReleaseString(static_cast<StringOwner*>(owner), "one");
}

void ReleaseTwo(void* owner, void* context)
{
    ReleaseString(static_cast<StringOwner*>(owner), context == owner ? "two" : "two(bad context)");
}

// Owners live until the next Reset, so that a double release is counted instead of crashing.
std::vector<std::unique_ptr<StringOwner>>& Owners()
{
    static std::vector<std::unique_ptr<StringOwner>> owners;
    return owners;
}
} // namespace

FakeProduct& FakeProduct::Instance()
{
    static FakeProduct product;
    return product;
}

void FakeProduct::Reset()
{
    script = {};
    journal.clear();
    lastLaunch.reset();
    onLaunch = nullptr;
    liveObjects = 0;
    liveStrings = 0;
    doubleReleases = 0;
    callsWhileDetached = 0;
    attached = false;
    Owners().clear();
    ObjectName::ResetNumbers();
}

IFactory* FakeProduct::GetFactory()
{
    const ProductCode running;
    static FakeFactory factory;
    Instance().Record("GetEndpointProtectionClientFactory()");
    return Instance().script.nullFactory ? nullptr : &factory;
}

void FakeProduct::Attach()
{
    const ProductCode running;
    attached = true;
    journal.push_back("attach");
}

void FakeProduct::Detach()
{
    const ProductCode running;
    journal.push_back("detach");
    attached = false;
}

void FakeProduct::Record(const std::string& entry)
{
    if (!attached)
    {
        ++callsWhileDetached;
    }
    journal.push_back(entry);
}

bool FakeProduct::IsRunning()
{
    return productDepth > 0;
}

std::uint32_t FakeProduct::Result(const std::string& operation) const
{
    const auto it = script.results.find(operation);
    return it != script.results.end() ? it->second : 0;
}

void FakeProduct::FillString(SdkString* target, const std::optional<std::string>& text,
                             const std::string& what)
{
    if (!text.has_value())
    {
        return;
    }
    auto owner = std::make_unique<StringOwner>();
    owner->text = *text;
    owner->what = what;
    target->text = owner->text.c_str();
    if (script.stringRelease == "none")
    {
        Owners().push_back(std::move(owner));
        return;
    }
    target->owner = owner.get();
    target->context = owner.get();
    target->releaseWithContext = &ReleaseTwo;
    if (script.stringRelease == "one")
    {
        target->release = &ReleaseOne;
    }
    ++liveStrings;
    Owners().push_back(std::move(owner));
}

std::vector<std::string> FakeProduct::EntriesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> entries;
    for (const auto& entry : journal)
    {
        if (entry.rfind(prefix, 0) == 0)
        {
            entries.push_back(entry);
        }
    }
    return entries;
}
} // namespace Quelvo::testing
