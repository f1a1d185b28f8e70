// The end-to-end scenarios that the shipped fault sweep runs: the demo's rows and the recovery rows of
// the end-to-end suite, each with the state the product starts from and what a 0 must show.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Quelvo::ShippedSweep
{
enum class ServiceSetup
{
    Running,
    Stopped,
    Missing,
    StopsBeforeRunning, // starts pending, then reports stopped with an exit code of its own
};

// What the product must have seen for an exit code of 0 to be true.
enum class Action
{
    Enable,         // RealTimeProtection#n.Enable()
    FirewallEnable, // Firewall#n.Enable()
    Update,         // Updater#n.StartUpdate(...)
    UiStarted,      // the UI wrote down its start
    Relaunch,       // Launcher#n.Launch(...)
    Disable,        // RealTimeProtection#n.Disable()
    ServiceStarted, // the product service runs
};

inline constexpr DWORD kNoTrustedInstance = 0xFFFFFFFF;

struct Scenario
{
    const wchar_t* commandLine;
    const char* what;
    ServiceSetup service;
    std::string script;
    bool withLibrary;
    Action action;
    DWORD expected;        // the exit code without a fault
    DWORD trustedExpected; // the started instance's exit code, or kNoTrustedInstance
};

// `uiPath` is the demo UI's path, for the rows that start it.
std::vector<Scenario> Scenarios(const std::string& uiPath);
} // namespace Quelvo::ShippedSweep
