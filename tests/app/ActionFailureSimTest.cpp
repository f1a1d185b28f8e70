// An action that fails with ERROR_INVALID_PARAMETER ends the run with it: it is not mistaken for a line
// without an action, which would relaunch the line or run the trusted disable after the failure.
#include "app/Dispatch.h"
#include "support/FakeProductSimFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <winsim/Control.h>
#include <winsim/Processes.h>
#include <winsim/Services.h>

namespace Quelvo::testing
{
namespace
{
constexpr std::uint32_t kInvalidParameter = 87;
const std::wstring kService = L"EndpointProtectionService";

class ActionFailureSimTest : public FakeProductSimTest
{
protected:
    void SetUp() override
    {
        FakeProductSimTest::SetUp();
        Script().timestamp = "2000-01-01T00:00:00Z";
        winsim::SetWallClock(1700000000);
    }

    static void InstallService(DWORD state)
    {
        winsim::ServiceDefinition service;
        service.name = kService;
        service.imagePath = L"C:\\Program Files\\Quelvo Product\\service.exe";
        service.state = state;
        // The product lets its users start its service, which the recovery needs.
        service.grantedRights |= SERVICE_START;
        winsim::InstallService(service);
    }

    static bool Relaunched() { return FakeProduct::Instance().lastLaunch.has_value(); }

    static bool Disabled()
    {
        return std::any_of(Journal().begin(), Journal().end(),
                           [](const std::string& entry)
                           { return entry.find(".Disable()") != std::string::npos; });
    }
};

TEST_F(ActionFailureSimTest, AnSdkResultOf87IsTheExitCodeWithoutARelaunch)
{
    InstallService(SERVICE_RUNNING);
    Script().results["Enable"] = kInvalidParameter;
    EXPECT_EQ(kInvalidParameter, RunTool(L"/av /enable"));
    EXPECT_FALSE(Relaunched());

    Script().results["StartUpdate"] = kInvalidParameter;
    EXPECT_EQ(kInvalidParameter, RunTool(L"/fw /update"));
    EXPECT_FALSE(Relaunched());
}

TEST_F(ActionFailureSimTest, AFailedEnableOnATrustedLineDoesNotGoOnToDisable)
{
    InstallService(SERVICE_RUNNING);
    Script().results["Enable"] = kInvalidParameter;
    EXPECT_EQ(kInvalidParameter, RunTool(L"/av /enable /disable /trusted"));
    EXPECT_FALSE(Disabled());
    EXPECT_FALSE(Relaunched());
}

TEST_F(ActionFailureSimTest, ARecoveryThatFailsWith87IsNotRelaunched)
{
    InstallService(SERVICE_STOPPED);
    // The started service's process cannot be opened: the recovery ends with that error.
    winsim::FailNext("OpenProcess", kInvalidParameter);
    EXPECT_EQ(kInvalidParameter, RunTool(L"/av /enable"));
    EXPECT_FALSE(Relaunched());
    EXPECT_EQ(0u, winsim::CallCount("LoadLibraryExW")) << "the product is not asked for anything";
}

TEST_F(ActionFailureSimTest, OnlyALineWithoutAnActionIsNothingToDo)
{
    EXPECT_EQ(std::nullopt, RunDispatchedAction(L"/av /disable"));
    EXPECT_EQ(kInvalidParameter, DispatchCommand(L"/av /disable"));
    Script().results["GetUiPath"] = kInvalidParameter;
    EXPECT_EQ(std::optional<std::uint32_t>(kInvalidParameter), RunDispatchedAction(L"/av /launch"));
    EXPECT_FALSE(Relaunched());
}
} // namespace
} // namespace Quelvo::testing
