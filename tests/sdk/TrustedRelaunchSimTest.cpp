#include "sdk/commands/TrustedRelaunch.h"
#include "support/FakeProductSimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winsim/Control.h>
#include <winsim/Processes.h>

namespace Quelvo::testing
{
namespace
{
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using TrustedRelaunchSimTest = FakeProductSimTest;

TEST_F(TrustedRelaunchSimTest, HandsTheOwnPathTheLinePlusTrustedATokenAndTheOwnIdToTheLauncher)
{
    std::size_t handlesDuringLaunch = 0;
    FakeProduct::Instance().onLaunch = [&](const LaunchCall&)
    { handlesDuringLaunch = winsim::OpenHandleCount(); };
    EXPECT_EQ(0u, RelaunchTrusted(L"/disable /av"));

    const auto& launch = FakeProduct::Instance().lastLaunch;
    ASSERT_TRUE(launch.has_value());
    EXPECT_EQ("C:\\Program Files\\Quelvo Product\\remediation.exe", launch->imagePath);
    EXPECT_EQ("/disable /av /trusted", launch->arguments);
    EXPECT_NE(0u, launch->token);
    EXPECT_EQ(winsim::CurrentProcessId(), launch->processId);
    // The library's module handle and the duplicated token.
    EXPECT_EQ(2u, handlesDuringLaunch);

    ASSERT_EQ(1u, winsim::TokenDuplications().size());
    EXPECT_EQ(0x018Bu, winsim::TokenDuplications()[0].desiredAccess);
    EXPECT_EQ(SecurityImpersonation, winsim::TokenDuplications()[0].impersonationLevel);
    EXPECT_EQ(TokenPrimary, winsim::TokenDuplications()[0].tokenType);
    EXPECT_THAT(FakeProduct::Instance().EntriesStartingWith("release"),
                ElementsAre("release Launcher#2", "release EppClient#1"));
}

TEST_F(TrustedRelaunchSimTest, TheLineIsPassedAsItStands)
{
    EXPECT_EQ(0u, RelaunchTrusted(L"/av "));
    EXPECT_EQ("/av  /trusted", FakeProduct::Instance().lastLaunch->arguments);
    EXPECT_EQ(0u, RelaunchTrusted(L""));
    EXPECT_EQ(" /trusted", FakeProduct::Instance().lastLaunch->arguments);
    EXPECT_EQ(0u, RelaunchTrusted(L"/fw \u00e9"));
    EXPECT_EQ("/fw \xc3\xa9 /trusted", FakeProduct::Instance().lastLaunch->arguments);
}

TEST_F(TrustedRelaunchSimTest, TheLaunchersResultIsTheResultAndTheTokenIsClosedAfterAFailure)
{
    Script().results["Launch"] = 5;
    EXPECT_EQ(5u, RelaunchTrusted(L"/av"));
    Script().results["Launch"] = 0xC0000022;
    EXPECT_EQ(0xC0000022u, RelaunchTrusted(L"/av"));
}

TEST_F(TrustedRelaunchSimTest, WithoutALauncherNoTokenIsOpened)
{
    Script().nullObjects.insert("CreateTrustedProcessLauncher");
    EXPECT_EQ(1225u, RelaunchTrusted(L"/av"));
    EXPECT_EQ(0u, winsim::CallCount("OpenProcessToken"));
    Script().nullObjects.clear();
    Script().results["Connect"] = 1722;
    EXPECT_EQ(1722u, RelaunchTrusted(L"/av"));
    winsim::RemoveLibrary(kClientLibraryPath);
    EXPECT_EQ(31u, RelaunchTrusted(L"/av"));
    EXPECT_FALSE(FakeProduct::Instance().lastLaunch.has_value());
}

TEST_F(TrustedRelaunchSimTest, TokenFailuresReturnTheirLastError)
{
    winsim::FailNext("OpenProcessToken", ERROR_ACCESS_DENIED);
    EXPECT_EQ(5u, RelaunchTrusted(L"/av"));
    // The own token is closed before the code is read: a close that clears the last error must not matter.
    winsim::SetLastErrorOnSuccess("CloseHandle", ERROR_SUCCESS);
    winsim::FailNext("DuplicateTokenEx", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(8u, RelaunchTrusted(L"/av"));
    winsim::FailNext("DuplicateTokenEx", ERROR_SUCCESS);
    EXPECT_EQ(31u, RelaunchTrusted(L"/av")) << "a failure without a last error is still a failure";
    EXPECT_FALSE(FakeProduct::Instance().lastLaunch.has_value());
}

TEST_F(TrustedRelaunchSimTest, AnUnreadableOwnPathOrAnInvalidLineGivesTheErrorCode)
{
    // The library is found first; then the own path cannot be read.
    winsim::FailNth("GetModuleFileNameW", 2, ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(206u, RelaunchTrusted(L"/av"));
    winsim::ClearFaults();
    std::wstring unpaired = L"/av ";
    unpaired.push_back(static_cast<wchar_t>(0xD800));
    EXPECT_EQ(1113u, RelaunchTrusted(unpaired));
    EXPECT_FALSE(FakeProduct::Instance().lastLaunch.has_value());
}
} // namespace
} // namespace Quelvo::testing
