// The demo product's client library: every SDK interface, behaving as the script says and writing
// every call to the journal.
#include "demo/client/DemoJournal.h"
#include "demo/client/DemoScript.h"
#include "sdk/EndpointProtectionSdk.h"

#include <windows.h>

#include <string>

namespace DemoProduct
{
namespace
{
using namespace Quelvo::EndpointProtectionSdk;

int g_liveObjects = 0;
int g_liveStrings = 0;
int g_nextObject = 0;

#define DEMO_RESERVED(n)                                                                                     \
    std::uint32_t Reserved##n() override                                                                     \
    {                                                                                                        \
        Journal(m_name + ".Reserved" #n "()");                                                               \
        return ERROR_CALL_NOT_IMPLEMENTED;                                                                   \
    }

class Named
{
public:
    explicit Named(const std::string& kind) : m_name(kind + "#" + std::to_string(++g_nextObject))
    {
        ++g_liveObjects;
    }
    const std::string& Name() const { return m_name; }

protected:
    template <class Self>
    static std::uint32_t ReleaseObject(Self* self)
    {
        Journal("release " + self->m_name);
        --g_liveObjects;
        delete self;
        return 0;
    }

    std::string m_name;
};

class Client final : public IEppClient, public Named
{
public:
    Client() : Named("EppClient") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    DEMO_RESERVED(2)
    std::uint32_t Connect(std::uint32_t value) override
    {
        Journal(m_name + ".Connect(" + std::to_string(value) + ")");
        return Script::Instance().Result("Connect");
    }
};

std::string NameOf(IEppClient* client)
{
    return client != nullptr ? static_cast<Client*>(client)->Name() : "null";
}

class RealTimeProtection final : public IRealTimeProtection, public Named
{
public:
    RealTimeProtection() : Named("RealTimeProtection") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t Enable() override
    {
        Journal(m_name + ".Enable()");
        return Script::Instance().Result("Enable");
    }
    std::uint32_t Disable() override
    {
        Journal(m_name + ".Disable()");
        return Script::Instance().Result("Disable");
    }
};

class Firewall final : public IFirewall, public Named
{
public:
    Firewall() : Named("Firewall") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t Enable() override
    {
        Journal(m_name + ".Enable()");
        return Script::Instance().Result("FirewallEnable");
    }
};

class FirewallConfigurator final : public IFirewallConfigurator, public Named
{
public:
    FirewallConfigurator() : Named("FirewallConfigurator") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    std::uint32_t IsEnableAllowed(bool* allowed) override
    {
        Journal(m_name + ".IsEnableAllowed(" + (*allowed ? "true" : "false") + ")");
        *allowed = Script::Instance().Flag("firewall.allowed", true);
        return Script::Instance().Result("IsEnableAllowed");
    }
};

class Updater final : public IUpdater, public Named
{
public:
    Updater() : Named("Updater") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    DEMO_RESERVED(2)
    std::uint32_t StartUpdate(const char* text, bool flag, std::uint64_t* output) override
    {
        Journal(m_name + ".StartUpdate(\"" + text + "\", " + (flag ? "true" : "false") + ", " +
                (output != nullptr ? "slot" : "null") + ")");
        return Script::Instance().Result("StartUpdate");
    }
};

// A string handed out; released through one of its two functions.
struct StringOwner
{
    std::string text;
    std::string what;
};

void ReleaseStringOwner(StringOwner* owner, const char* how)
{
    Journal(std::string("string release ") + how + " " + owner->what);
    --g_liveStrings;
    delete owner;
}

void ReleaseOne(void* owner)
{
    ReleaseStringOwner(static_cast<StringOwner*>(owner), "one");
}

void ReleaseTwo(void* owner, void* context)
{
    ReleaseStringOwner(static_cast<StringOwner*>(owner), context == owner ? "two" : "two(bad context)");
}

void FillString(SdkString* target, const std::string& key, const std::string& what)
{
    const auto value = Script::Instance().Value(key);
    if (!value)
    {
        return;
    }
    auto* owner = new StringOwner{*value, what};
    ++g_liveStrings;
    target->text = owner->text.c_str();
    target->owner = owner;
    target->context = owner;
    target->releaseWithContext = &ReleaseTwo;
    if (Script::Instance().Value("string.release").value_or("one") == "one")
    {
        target->release = &ReleaseOne;
    }
}

class Configuration final : public IConfiguration, public Named
{
public:
    Configuration() : Named("Configuration") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    DEMO_RESERVED(2)
    DEMO_RESERVED(3)
    DEMO_RESERVED(4)
    DEMO_RESERVED(5)
    std::uint32_t GetUiPath(SdkString* path) override
    {
        Journal(m_name + ".GetUiPath()");
        FillString(path, "ui.path", "ui path");
        return Script::Instance().Result("GetUiPath");
    }
    DEMO_RESERVED(7)
    DEMO_RESERVED(8)
    DEMO_RESERVED(9)
    DEMO_RESERVED(10)
    DEMO_RESERVED(11)
    DEMO_RESERVED(12)
    DEMO_RESERVED(13)
    DEMO_RESERVED(14)
    DEMO_RESERVED(15)
    DEMO_RESERVED(16)
    DEMO_RESERVED(17)
    DEMO_RESERVED(18)
    DEMO_RESERVED(19)
    DEMO_RESERVED(20)
    DEMO_RESERVED(21)
    DEMO_RESERVED(22)
    std::uint32_t GetTimestamp(SdkString* timestamp) override
    {
        Journal(m_name + ".GetTimestamp()");
        FillString(timestamp, "timestamp", "timestamp");
        return Script::Instance().Result("GetTimestamp");
    }
};

class Launcher final : public ITrustedProcessLauncher, public Named
{
public:
    Launcher() : Named("Launcher") {}
    DEMO_RESERVED(0)
    std::uint32_t Release() override { return ReleaseObject(this); }
    DEMO_RESERVED(2)
    DEMO_RESERVED(3)
    std::uint32_t Launch(const char* imagePath, const char* arguments, std::uint32_t token,
                         std::uint32_t processId, std::uint64_t* output) override
    {
        const bool ownProcess = processId == GetCurrentProcessId();
        Journal(m_name + ".Launch(" + imagePath + "|" + arguments + "|" +
                (token != 0 ? "token" : "no token") + "|" +
                (ownProcess ? "own pid" : std::to_string(processId)) + "|" +
                (output != nullptr ? "slot" : "null") + ")");
        if (Script::Instance().Flag("launcher.start", false))
        {
            StartTrustedInstance(imagePath, arguments);
        }
        return Script::Instance().Result("Launch");
    }

private:
    // Starts the program with its own journal (the journal's name plus ".trusted") and waits for it.
    static void StartTrustedInstance(const std::string& imagePath, const std::string& arguments)
    {
        wchar_t journal[MAX_PATH * 4] = {};
        GetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", journal, ARRAYSIZE(journal));
        SetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", (std::wstring(journal) + L".trusted").c_str());

        const std::wstring path = Utf16(imagePath);
        std::wstring commandLine = L"\"" + path + L"\" " + Utf16(arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        const BOOL started = CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                            nullptr, nullptr, &startup, &process);
        const DWORD error = GetLastError();
        SetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", journal);
        if (started)
        {
            WaitForSingleObject(process.hProcess, 60000);
            DWORD exitCode = 0;
            GetExitCodeProcess(process.hProcess, &exitCode);
            Journal("trusted instance exit " + std::to_string(exitCode));
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        else
        {
            Journal("trusted instance not started " + std::to_string(error));
        }
    }
};

class Factory final : public IFactory
{
public:
    DEMO_RESERVED(0)
    std::uint32_t CreateEppClient(IEppClient** client, std::uint64_t options) override
    {
        return Make<Client>("CreateEppClient", "options=" + std::to_string(options), client);
    }
    DEMO_RESERVED(2)
    DEMO_RESERVED(3)
    DEMO_RESERVED(4)
    DEMO_RESERVED(5)
    DEMO_RESERVED(6)
    std::uint32_t CreateRealtimeProtection(IRealTimeProtection** object, IEppClient* client) override
    {
        return Make<RealTimeProtection>("CreateRealtimeProtection", NameOf(client), object);
    }
    DEMO_RESERVED(8)
    DEMO_RESERVED(9)
    DEMO_RESERVED(10)
    std::uint32_t CreateFirewall(IFirewall** object, IEppClient* client) override
    {
        return Make<Firewall>("CreateFirewall", NameOf(client), object);
    }
    std::uint32_t CreateFirewallConfigurator(IFirewallConfigurator** object, IEppClient* client) override
    {
        return Make<FirewallConfigurator>("CreateFirewallConfigurator", NameOf(client), object);
    }
    DEMO_RESERVED(13)
    DEMO_RESERVED(14)
    std::uint32_t CreateTrustedProcessLauncher(ITrustedProcessLauncher** object, IEppClient* client) override
    {
        return Make<Launcher>("CreateTrustedProcessLauncher", NameOf(client), object);
    }
    std::uint32_t CreateUpdater(IUpdater** object, IEppClient* client) override
    {
        return Make<Updater>("CreateUpdater", NameOf(client), object);
    }
    DEMO_RESERVED(17)
    std::uint32_t CreateConfiguration(IConfiguration** object, IEppClient* client) override
    {
        return Make<Configuration>("CreateConfiguration", NameOf(client), object);
    }

private:
    template <class Object, class Interface>
    std::uint32_t Make(const std::string& operation, const std::string& argument, Interface** out)
    {
        const auto code = Script::Instance().Result(operation);
        if (code != 0 || Script::Instance().Flag("null." + operation, false))
        {
            Journal(operation + "(" + argument + ") -> none");
            return code;
        }
        auto* object = new Object();
        Journal(operation + "(" + argument + ") -> " + object->Name());
        *out = object;
        return 0;
    }

    const std::string m_name = "Factory";
};

#undef DEMO_RESERVED
} // namespace
} // namespace DemoProduct

extern "C" __declspec(dllexport) Quelvo::EndpointProtectionSdk::IFactory* GetEndpointProtectionClientFactory()
{
    static DemoProduct::Factory factory;
    DemoProduct::Journal("GetEndpointProtectionClientFactory()");
    return &factory;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        DemoProduct::Script::Instance().Load();
        DemoProduct::Journal("attach");
    }
    else if (reason == DLL_PROCESS_DETACH)
    {
        DemoProduct::Journal("detach live=" + std::to_string(DemoProduct::g_liveObjects) +
                             " strings=" + std::to_string(DemoProduct::g_liveStrings));
    }
    return TRUE;
}
