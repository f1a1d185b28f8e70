// Every product operation and object creation of each command line's clean run, failing.
#include "sweep/SweepScenarios.h"

namespace Quelvo::testing::sweep
{
namespace
{
using LibraryFaultSweepSimTest = FaultSweepSimTest;

LibraryFault Scripted(std::string description, std::function<void(FakeProductScript&)> inject,
                      std::uint32_t code, std::string operation = {})
{
    return {std::move(description), std::move(inject), code, std::move(operation)};
}

TEST_F(LibraryFaultSweepSimTest, EnableRealTimeProtection)
{
    SweepLibrary(EnableRealTimeProtectionWithServiceRunning());
}

TEST_F(LibraryFaultSweepSimTest, EnableFirewall)
{
    SweepLibrary(EnableFirewallWithServiceRunning(),
                 {Scripted(
                     "the configurator does not allow enabling",
                     [](FakeProductScript& script) { script.firewallAllowed = false; }, ERROR_ACCESS_DENIED,
                     "IsEnableAllowed")});
}

TEST_F(LibraryFaultSweepSimTest, Update)
{
    SweepLibrary(UpdateProductScenario());
}

TEST_F(LibraryFaultSweepSimTest, Launch)
{
    SweepLibrary(
        LaunchScenario(),
        {Scripted(
             "no UI path", [](FakeProductScript& script) { script.uiPath.reset(); }, 0, "GetUiPath"),
         Scripted(
             "a UI path that is no UTF-8",
             [](FakeProductScript& script) { script.uiPath = "C:\\\xC3\x28.exe"; }, 1064, "GetUiPath"),
         Scripted(
             "a UI path that names no program",
             [](FakeProductScript& script) { script.uiPath = "C:\\Program Files\\Quelvo Product\\gone.exe"; },
             1064, "GetUiPath"),
         Scripted(
             "strings released with their context",
             [](FakeProductScript& script) { script.stringRelease = "two"; }, 0, "GetUiPath"),
         Scripted(
             "strings without an owner", [](FakeProductScript& script) { script.stringRelease = "none"; }, 0,
             "GetUiPath")});
}

TEST_F(LibraryFaultSweepSimTest, Renew)
{
    SweepLibrary(RenewScenario());
}

TEST_F(LibraryFaultSweepSimTest, Relaunch)
{
    SweepLibrary(RelaunchScenario());
}

TEST_F(LibraryFaultSweepSimTest, TrustedDisable)
{
    const auto timestamp = [](std::optional<std::string> text)
    { return [text](FakeProductScript& script) { script.timestamp = text; }; };
    SweepLibrary(
        TrustedDisableScenario(),
        {Scripted("a time stamp in the future", timestamp("2030-01-01T00:00:00Z"), ERROR_ACCESS_DENIED,
                  "GetTimestamp"),
         Scripted("a time stamp of this very second", timestamp("2023-11-14T22:13:20Z"), ERROR_ACCESS_DENIED,
                  "GetTimestamp"),
         Scripted("an empty time stamp", timestamp(""), ERROR_ACCESS_DENIED, "GetTimestamp"),
         Scripted("no time stamp", timestamp(std::nullopt), ERROR_ACCESS_DENIED, "GetTimestamp"),
         Scripted("a malformed time stamp", timestamp("2024/01/01"), 1064, "GetTimestamp"),
         Scripted("a time stamp before 1970", timestamp("1969-12-31T23:59:59Z"), 1064, "GetTimestamp"),
         Scripted(
             "strings released with their context",
             [](FakeProductScript& script) { script.stringRelease = "two"; }, 0, "GetTimestamp")});
}
} // namespace
} // namespace Quelvo::testing::sweep
