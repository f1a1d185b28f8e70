// The command lines the fault sweep drives, each against its scripted machine and product, with the
// codes that failures of the platform and of the product are defined to give on that road.
#pragma once

#include "sweep/FaultSweepSimFixture.h"

namespace Quelvo::testing::sweep
{
namespace scenario_detail
{
inline bool Is(const PlatformFault& fault, std::initializer_list<const char*> functions)
{
    return std::any_of(functions.begin(), functions.end(),
                       [&](const char* function) { return fault.function == function; });
}

// A failure of the service check counts as "service up" when it is access denied and as "service
// down" otherwise; down means recovery, which ends as `recoveryCode`.
inline std::optional<std::uint32_t> CheckFailureCode(DWORD error, std::optional<std::uint32_t> recoveryCode)
{
    return error == ERROR_ACCESS_DENIED ? std::optional<std::uint32_t>(0) : recoveryCode;
}

// An enable with the product service running: a failed check makes the recovery try to start a
// running service, which Windows refuses with ERROR_SERVICE_ALREADY_RUNNING.
inline Scenario EnableWithServiceRunning(std::string name, std::wstring line, std::string operation)
{
    Scenario scenario;
    scenario.name = std::move(name);
    scenario.commandLine = std::move(line);
    scenario.arrange = [] { InstallProductService(kPrimaryService, SERVICE_RUNNING); };
    scenario.carriedOut = [operation] { return ProductDid(operation) || ServiceRecovered(); };
    scenario.platformCode = [](const PlatformFault& fault, const CallLog&) -> std::optional<std::uint32_t>
    {
        if (Is(fault, {"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx"}))
        {
            return CheckFailureCode(fault.error, ERROR_SERVICE_ALREADY_RUNNING);
        }
        return std::nullopt;
    };
    return scenario;
}

// The service check opens the manager three times (exists, primary status, alternative status) before
// the recovery begins.
constexpr unsigned kCheckOpensWithPrimaryStopped = 3;

// Failures during the recovery, after a clean check: Win32 failures give their own code, and a status
// poll that fails is only polled again.
inline std::optional<std::uint32_t> RecoveryFailureCode(const PlatformFault& fault)
{
    if (Is(fault, {"QueryServiceStatus"}))
    {
        return std::nullopt;
    }
    if (Is(fault, {"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx", "StartServiceW", "OpenProcess",
                   "WaitForSingleObject"}))
    {
        return fault.error;
    }
    return std::nullopt;
}
} // namespace scenario_detail

inline Scenario EnableRealTimeProtectionWithServiceRunning()
{
    return scenario_detail::EnableWithServiceRunning("enable real-time protection, service running",
                                                     L"/av /enable", "Enable");
}

inline Scenario EnableFirewallWithServiceRunning()
{
    return scenario_detail::EnableWithServiceRunning("enable firewall, service running", L"/fw /enable",
                                                     "FirewallEnable");
}

// The service is stopped and the alternative is not installed: the run starts the service, which is
// start-pending for a few polls, and enables nothing.
inline Scenario EnableWithServiceStopped()
{
    using namespace scenario_detail;
    Scenario scenario;
    scenario.name = "enable real-time protection, service stopped";
    scenario.commandLine = L"/as /enable";
    scenario.arrange = []
    {
        InstallProductService(kPrimaryService, SERVICE_STOPPED,
                              {{SERVICE_START_PENDING, 4}, {SERVICE_RUNNING, 0}});
    };
    scenario.carriedOut = [] { return ProductDid("Enable") || ServiceRecovered(); };
    scenario.platformCode = [](const PlatformFault& fault, const CallLog& log) -> std::optional<std::uint32_t>
    {
        // Whatever the check concludes, the run ends well: "up" enables, "down" recovers.
        if (fault.position < PositionOf(log, "OpenSCManagerW", kCheckOpensWithPrimaryStopped + 1))
        {
            return 0;
        }
        if (Is(fault, {"QueryServiceStatus"}))
        {
            return 0;
        }
        return RecoveryFailureCode(fault);
    };
    return scenario;
}

// The service's process dies while it is start-pending: the recovery fails, and no run may report
// success unless a failed check sent it to the product instead.
inline Scenario EnableWithServiceDyingWhileStarting()
{
    using namespace scenario_detail;
    Scenario scenario;
    scenario.name = "enable real-time protection, service dies while starting";
    scenario.commandLine = L"/av /enable";
    scenario.arrange = []
    {
        InstallProductService(kPrimaryService, SERVICE_STOPPED,
                              {winsim::ServiceStep(SERVICE_START_PENDING, 0).ProcessExits(600, 3)});
    };
    scenario.carriedOut = [] { return ProductDid("Enable") || ServiceRecovered(); };
    scenario.cleanCode = std::nullopt;
    // The failure is no Win32 failure: the code is the thread's last error, whatever a close left there.
    scenario.closesKeepTheCode = false;
    scenario.platformCode = [](const PlatformFault& fault, const CallLog& log) -> std::optional<std::uint32_t>
    {
        if (fault.position < PositionOf(log, "OpenSCManagerW", kCheckOpensWithPrimaryStopped + 1))
        {
            return CheckFailureCode(fault.error, std::nullopt);
        }
        return RecoveryFailureCode(fault);
    };
    return scenario;
}

// Only the alternative service is installed: the primary one counts as missing.
inline Scenario EnableWithServiceMissing()
{
    using namespace scenario_detail;
    Scenario scenario;
    scenario.name = "enable real-time protection, service missing";
    scenario.commandLine = L"/av /enable";
    scenario.arrange = [] { InstallProductService(L"EndpointProtectionService2", SERVICE_RUNNING); };
    scenario.carriedOut = [] { return ProductDid("Enable"); };
    scenario.cleanCode = ERROR_SERVICE_DOES_NOT_EXIST;
    scenario.platformCode = [](const PlatformFault& fault, const CallLog& log) -> std::optional<std::uint32_t>
    {
        // The check opens the manager once, then the recovery does.
        if (fault.position < PositionOf(log, "OpenSCManagerW", 2))
        {
            return CheckFailureCode(fault.error, ERROR_SERVICE_DOES_NOT_EXIST);
        }
        return fault.error;
    };
    return scenario;
}

inline Scenario UpdateProductScenario()
{
    Scenario scenario;
    scenario.name = "update";
    scenario.commandLine = L"/av /update";
    scenario.carriedOut = [] { return ProductDid("StartUpdate"); };
    return scenario;
}

// Opening the UI: a failed conversion or process creation is an exception inside the action.
inline Scenario LaunchUi(std::string name, std::wstring line, std::wstring arguments)
{
    Scenario scenario;
    scenario.name = std::move(name);
    scenario.commandLine = std::move(line);
    scenario.carriedOut = [arguments]
    {
        // A configuration that names no UI has nothing to start, and that is success.
        const bool noUi = ProductDid("GetUiPath") && !FakeProduct::Instance().script.uiPath;
        return UiStarted(arguments) || noUi;
    };
    scenario.platformCode = [](const PlatformFault& fault, const CallLog&) -> std::optional<std::uint32_t>
    {
        if (scenario_detail::Is(fault, {"CreateProcessW", "MultiByteToWideChar"}))
        {
            return 1064;
        }
        return std::nullopt;
    };
    return scenario;
}

inline Scenario LaunchScenario()
{
    return LaunchUi("launch", L"/fw /launch", L"");
}

inline Scenario RenewScenario()
{
    return LaunchUi("renew", L"/as /renew", L"/renew");
}

// A line without a direct action, relaunched through the product with a duplicate of the own token.
inline Scenario Relaunch(std::string name, std::wstring folder)
{
    Scenario scenario;
    scenario.name = std::move(name);
    scenario.commandLine = L"/av /disable";
    scenario.folder = std::move(folder);
    scenario.carriedOut = [] { return ProductDid("Launch"); };
    scenario.platformCode = [](const PlatformFault& fault, const CallLog&) -> std::optional<std::uint32_t>
    {
        // The own image path (read after the client is loaded), the token and the UTF-8 arguments.
        if (scenario_detail::Is(
                fault, {"GetModuleFileNameW", "OpenProcessToken", "DuplicateTokenEx", "WideCharToMultiByte"}))
        {
            return fault.error;
        }
        return std::nullopt;
    };
    return scenario;
}

inline Scenario RelaunchScenario()
{
    return Relaunch("relaunch", kProductFolder);
}

// An executable path longer than MAX_PATH: both readers of the own path go through their short-buffer
// protocol before the faults.
inline Scenario RelaunchFromLongPathScenario()
{
    return Relaunch("relaunch from a long path", L"C:\\Program Files\\" + std::wstring(280, L'q') + L"\\");
}

inline Scenario TrustedDisableScenario()
{
    Scenario scenario;
    scenario.name = "trusted disable";
    scenario.commandLine = L"/av /disable /trusted";
    scenario.carriedOut = [] { return ProductDid("Disable"); };
    // The time gate turns every failure to read the time stamp into a refusal.
    scenario.libraryCodes = {{"GetTimestamp", ERROR_ACCESS_DENIED},
                             {"CreateConfiguration", ERROR_ACCESS_DENIED}};
    return scenario;
}

// Every scenario that reaches the product library.
inline std::vector<Scenario> ScenariosReachingTheProduct()
{
    return {EnableRealTimeProtectionWithServiceRunning(),
            EnableFirewallWithServiceRunning(),
            UpdateProductScenario(),
            LaunchScenario(),
            RenewScenario(),
            RelaunchScenario(),
            TrustedDisableScenario()};
}
} // namespace Quelvo::testing::sweep
