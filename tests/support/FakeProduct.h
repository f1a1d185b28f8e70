// An in-memory product client library for tests: implements every SDK interface, is scripted by the
// test, and keeps a journal of every call, creation and release.
#pragma once

#include "sdk/EndpointProtectionSdk.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Quelvo::testing
{
// What the fake library does. Operation names as in the journal: "CreateEppClient", "Connect",
// "CreateRealtimeProtection", "Enable", "Disable", "IsEnableAllowed", "FirewallEnable", "StartUpdate",
// "GetUiPath", "GetTimestamp", "Launch", and the other Create... names.
struct FakeProductScript
{
    // Results of operations; an operation not named returns 0.
    std::map<std::string, std::uint32_t> results;
    // Creation operations that return 0 but leave the out pointer null.
    std::set<std::string> nullObjects;
    bool nullFactory = false;
    bool firewallAllowed = true;
    std::optional<std::string> uiPath;
    std::optional<std::string> timestamp;
    // How returned strings are to be released: "one", "two" (with context) or "none" (no owner).
    std::string stringRelease = "one";
};

// Arguments of the last ITrustedProcessLauncher::Launch call.
struct LaunchCall
{
    std::string imagePath;
    std::string arguments;
    std::uint32_t token = 0;
    std::uint32_t processId = 0;
};

class FakeProduct
{
public:
    static FakeProduct& Instance();

    // Clears script, journal and counters.
    void Reset();

    // The export of the fake library.
    static EndpointProtectionSdk::IFactory* GetFactory();

    // Whether the calling thread is running code of the fake library now. What it allocates there is
    // the product's, not the tool's: a test that fails the tool's allocations leaves these alone, as
    // the real library throws nothing into its caller.
    static bool IsRunning();

    // DllMain's attach and detach.
    void Attach();
    void Detach();

    FakeProductScript script;
    std::vector<std::string> journal;
    std::optional<LaunchCall> lastLaunch;
    // Runs inside Launch, while the tool waits for it.
    std::function<void(const LaunchCall&)> onLaunch;

    int liveObjects = 0;
    int liveStrings = 0;
    int doubleReleases = 0;
    int callsWhileDetached = 0;
    bool attached = false;

    // Records one entry; counts calls that arrive while the library is not attached.
    void Record(const std::string& entry);
    std::uint32_t Result(const std::string& operation) const;
    // Fills `target` by the release rule of the script.
    void FillString(EndpointProtectionSdk::SdkString* target, const std::optional<std::string>& text,
                    const std::string& what);

    // Journal entries that start with `prefix`, in order.
    std::vector<std::string> EntriesStartingWith(const std::string& prefix) const;
};
} // namespace Quelvo::testing
