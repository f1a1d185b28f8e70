#include "app/Dispatch.h"
#include "support/FakeProductSimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winsim/Control.h>
#include <winsim/Processes.h>
#include <winsim/Services.h>

namespace Quelvo::testing
{
namespace
{
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::wstring kUiPath = L"C:\\Program Files\\Quelvo Product\\ui.exe";
const std::wstring kService = L"EndpointProtectionService";

class DispatchSimTest : public FakeProductSimTest
{
protected:
    void SetUp() override
    {
        FakeProductSimTest::SetUp();
        winsim::AddApplication(kUiPath);
        Script().uiPath = "C:\\Program Files\\Quelvo Product\\ui.exe";
        Script().timestamp = "2000-01-01T00:00:00Z";
        winsim::SetWallClock(1700000000);
        InstallService(SERVICE_RUNNING);
    }

    static void InstallService(DWORD state, const std::wstring& name = kService)
    {
        winsim::ServiceDefinition service;
        service.name = name;
        service.commandLine = L"\"C:\\Program Files\\Quelvo Product\\service.exe\"";
        service.imagePath = L"C:\\Program Files\\Quelvo Product\\service.exe";
        service.state = state;
        // The product lets its users start its service, which the recovery needs.
        service.grantedRights |= SERVICE_START;
        winsim::InstallService(service);
    }

    // The SDK calls of the run, without creations, releases and the loader's entries.
    static std::vector<std::string> SdkCalls()
    {
        std::vector<std::string> calls;
        for (const auto& entry : Journal())
        {
            if (entry.find('.') != std::string::npos && entry.find("Connect(") == std::string::npos &&
                entry.rfind("string", 0) != 0)
            {
                calls.push_back(entry);
            }
        }
        return calls;
    }

    static std::vector<std::wstring> UiCommandLines()
    {
        std::vector<std::wstring> lines;
        for (const auto& creation : winsim::ProcessCreations())
        {
            lines.push_back(creation.commandLine.value_or(L"(none)"));
        }
        return lines;
    }

    static std::optional<std::string> RelaunchArguments()
    {
        const auto& launch = FakeProduct::Instance().lastLaunch;
        return launch ? std::optional<std::string>(launch->arguments) : std::nullopt;
    }
};

TEST_F(DispatchSimTest, ALineWithoutAProtectionSwitchAsksForNothing)
{
    for (const wchar_t* line :
         {L"", L"/launch", L"/update", L"/renew", L"/enable /disable /trusted", L"av fw"})
    {
        EXPECT_EQ(87u, RunTool(line)) << line;
    }
    EXPECT_EQ(0u, winsim::CallCount("LoadLibraryExW"));
    EXPECT_EQ(0u, winsim::CallCount("OpenSCManagerW"));
    EXPECT_THAT(winsim::ProcessCreations(), IsEmpty());
}

TEST_F(DispatchSimTest, EnableWithTheServiceRunningGoesToTheSdk)
{
    EXPECT_EQ(0u, RunTool(L"/av /enable"));
    EXPECT_EQ(0u, RunTool(L"/AS /ENABLE"));
    EXPECT_EQ(0u, RunTool(L"/enable /av /fw"));
    EXPECT_EQ(0u, RunTool(L"/enable /av /trusted"));
    EXPECT_EQ(0u, RunTool(L"/avx/enabled"));
    EXPECT_THAT(SdkCalls(), ElementsAre("RealTimeProtection#2.Enable()", "RealTimeProtection#4.Enable()",
                                        "RealTimeProtection#6.Enable()", "RealTimeProtection#8.Enable()",
                                        "RealTimeProtection#10.Enable()"));
    EXPECT_EQ(0u, RunTool(L"/Fw /Enable"));
    EXPECT_EQ("Firewall#13.Enable()", SdkCalls().back());
    EXPECT_THAT(RelaunchArguments(), std::nullopt);
}

TEST_F(DispatchSimTest, EnableWithTheServiceDownRecoversItInsteadOfEnabling)
{
    InstallService(SERVICE_STOPPED);
    EXPECT_EQ(0u, RunTool(L"/enable /fw"));
    EXPECT_EQ(SERVICE_RUNNING, winsim::ServiceState(kService));
    EXPECT_EQ(1u, winsim::ServiceStartCount(kService));
    EXPECT_EQ(0u, winsim::CallCount("LoadLibraryExW"));

    winsim::RemoveService(kService);
    EXPECT_EQ(1060u, RunTool(L"/enable /av"));
    InstallService(SERVICE_RUNNING, L"EndpointProtectionService2");
    EXPECT_EQ(1060u, RunTool(L"/enable /av")) << "only the primary service counts as installed";
    EXPECT_EQ(0u, winsim::CallCount("LoadLibraryExW"));
}

TEST_F(DispatchSimTest, AStoppedPrimaryWithARunningAlternativeGoesToTheSdk)
{
    InstallService(SERVICE_STOPPED);
    InstallService(SERVICE_RUNNING, L"EndpointProtectionService2");
    EXPECT_EQ(0u, RunTool(L"/enable /as"));
    EXPECT_THAT(SdkCalls(), ElementsAre("RealTimeProtection#2.Enable()"));
}

TEST_F(DispatchSimTest, LaunchUpdateAndRenewInThisOrder)
{
    EXPECT_EQ(0u, RunTool(L"/av /launch /renew"));
    EXPECT_EQ(0u, RunTool(L"/fw /renew"));
    EXPECT_EQ(0u, RunTool(L"/disable /av /launch"));
    EXPECT_THAT(UiCommandLines(), ElementsAre(L"\"ui.exe\" ", L"\"ui.exe\" /renew", L"\"ui.exe\" "));
    EXPECT_EQ(0u, RunTool(L"/av /update /renew"));
    EXPECT_EQ(3u, winsim::ProcessCreations().size());
    EXPECT_EQ("Updater#8.StartUpdate(\"\", true, slot)", SdkCalls().back());
    EXPECT_THAT(RelaunchArguments(), std::nullopt);
}

TEST_F(DispatchSimTest, ALineWithoutADirectActionIsRelaunchedLowerCased)
{
    EXPECT_EQ(0u, RunTool(L"/DISABLE /AV"));
    EXPECT_EQ("/disable /av /trusted", RelaunchArguments());
    EXPECT_EQ(0u, RunTool(L"/fw /disable "));
    EXPECT_EQ("/fw /disable  /trusted", RelaunchArguments());
    Script().results["Launch"] = 5;
    EXPECT_EQ(5u, RunTool(L"/av"));
    EXPECT_EQ("/av /trusted", RelaunchArguments());
    EXPECT_THAT(SdkCalls(),
                ElementsAre("Launcher#2.Launch(slot)", "Launcher#4.Launch(slot)", "Launcher#6.Launch(slot)"));
}

TEST_F(DispatchSimTest, ATrustedLineDisablesOnlyWithDisableAndRealTimeProtection)
{
    EXPECT_EQ(0u, RunTool(L"/as /disable /trusted"));
    EXPECT_THAT(SdkCalls(), ElementsAre("Configuration#3.GetTimestamp()", "RealTimeProtection#2.Disable()"));
    FakeProduct::Instance().journal.clear();
    EXPECT_EQ(87u, RunTool(L"/av /trusted"));
    EXPECT_EQ(87u, RunTool(L"/fw /disable /trusted"));
    EXPECT_THAT(Journal(), IsEmpty());
    EXPECT_THAT(RelaunchArguments(), std::nullopt);
}

TEST_F(DispatchSimTest, TheExitCodesOfTheActionsReachTheEntry)
{
    Script().timestamp = "2999-01-01T00:00:00Z";
    EXPECT_EQ(5u, RunTool(L"/av /disable /trusted"));
    Script().timestamp = "2024/01/01";
    EXPECT_EQ(1064u, RunTool(L"/av /disable /trusted"));
    Script().firewallAllowed = false;
    EXPECT_EQ(5u, RunTool(L"/enable /fw"));
    Script().results["Enable"] = 0xDEADBEEF;
    EXPECT_EQ(0xDEADBEEFu, RunTool(L"/enable /av"));
    Script().nullObjects.insert("CreateUpdater");
    EXPECT_EQ(1225u, RunTool(L"/av /update"));
    Script().results["Connect"] = 1722;
    EXPECT_EQ(1722u, RunTool(L"/av /launch"));
    winsim::RemoveLibrary(kClientLibraryPath);
    EXPECT_EQ(31u, RunTool(L"/av /update"));
    EXPECT_EQ(31u, RunTool(L"/av /disable"));
}
} // namespace
} // namespace Quelvo::testing
