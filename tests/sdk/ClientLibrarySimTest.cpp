#include "sdk/ClientLibrary.h"
#include "sdk/Sdk.h"
#include "support/FakeProductSimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <winsim/Control.h>

namespace Quelvo::testing
{
namespace
{
using namespace EndpointProtectionSdk;
using ::testing::ElementsAre;

// Reaches the protected MakeShared, as the creation operations use it.
struct SdkAccess : Sdk
{
    using Sdk::MakeShared;
};

using ClientLibrarySimTest = FakeProductSimTest;

TEST_F(ClientLibrarySimTest, LoadsTheLibraryFromTheExecutableFolderWithTheDefaultSearchDirectories)
{
    ASSERT_EQ(0u, LoadClientLibrary());
    EXPECT_TRUE(IsClientLibraryLoaded());
    EXPECT_EQ(kClientLibraryPath, winsim::LastLoadPath());
    EXPECT_EQ(static_cast<DWORD>(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS), winsim::LastLoadFlags());
    EXPECT_EQ(0u, LoadClientLibrary()) << "a second load is a no-op";
    EXPECT_EQ(1u, winsim::LibraryLoadCount(kClientLibraryPath));
    EXPECT_TRUE(UnloadClientLibrary());
    EXPECT_EQ(1u, winsim::LibraryFreeCount(kClientLibraryPath));
}

TEST_F(ClientLibrarySimTest, AGivenDirectoryIsUsedAsItStands)
{
    const std::wstring folder = L"D:\\Elsewhere\\";
    winsim::AddLibrary(folder + L"endpointprotectionclient.dll", {});
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_PROC_NOT_FOUND), LoadClientLibrary(folder));
    EXPECT_EQ(folder + L"endpointprotectionclient.dll", winsim::LastLoadPath());
    EXPECT_FALSE(IsClientLibraryLoaded());
    EXPECT_TRUE(UnloadClientLibrary());
}

TEST_F(ClientLibrarySimTest, ReadsExecutablePathsOfAnyLengthCompletely)
{
    for (const std::size_t length : {259u, 260u, 261u, 520u, 1500u})
    {
        const std::wstring fileName = L"\\remediation.exe";
        const std::wstring folder = L"C:\\" + std::wstring(length - 3 - fileName.size(), L'd');
        const std::wstring tool = folder + fileName;
        ASSERT_EQ(length, tool.size());
        winsim::SetExecutablePath(tool);
        winsim::AddLibrary(folder + L"\\endpointprotectionclient.dll", {});
        EXPECT_EQ(static_cast<std::uint32_t>(ERROR_PROC_NOT_FOUND), LoadClientLibrary()) << length;
        EXPECT_EQ(folder + L"\\endpointprotectionclient.dll", winsim::LastLoadPath()) << length;
        UnloadClientLibrary();
    }
}

TEST_F(ClientLibrarySimTest, AStaleInsufficientBufferErrorDoesNotGrowTheBuffer)
{
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    ASSERT_EQ(0u, LoadClientLibrary());
    EXPECT_EQ(1u, winsim::CallCount("GetModuleFileNameW"));
    EXPECT_EQ(kClientLibraryPath, winsim::LastLoadPath());
    UnloadClientLibrary();
}

TEST_F(ClientLibrarySimTest, AMissingLibraryIsReportedAndTriedAgainByTheNextCreation)
{
    winsim::RemoveLibrary(kClientLibraryPath);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_MOD_NOT_FOUND), LoadClientLibrary());
    EXPECT_FALSE(IsClientLibraryLoaded());

    std::shared_ptr<IEppClient> client;
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_EQ(nullptr, client);
    EXPECT_EQ(3u, winsim::CallCount("LoadLibraryExW"));
}

TEST_F(ClientLibrarySimTest, ALibraryWithoutTheExportIsNotLoadedAndIsFreedAgain)
{
    InstallLibrary(false);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_PROC_NOT_FOUND), LoadClientLibrary());
    EXPECT_FALSE(IsClientLibraryLoaded());
    EXPECT_TRUE(UnloadClientLibrary());

    std::shared_ptr<IEppClient> client;
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_EQ(nullptr, client);
    EXPECT_EQ(winsim::LibraryLoadCount(kClientLibraryPath), winsim::LibraryFreeCount(kClientLibraryPath));
    EXPECT_THAT(Journal(), ElementsAre("attach", "detach", "attach", "detach"));
}

TEST_F(ClientLibrarySimTest, ANullHandleOrExportFailsEvenWithoutALastError)
{
    winsim::FailNext("LoadLibraryExW", ERROR_SUCCESS);
    EXPECT_NE(0u, LoadClientLibrary());
    EXPECT_FALSE(IsClientLibraryLoaded());

    winsim::FailNext("GetProcAddress", ERROR_SUCCESS);
    EXPECT_NE(0u, LoadClientLibrary());
    EXPECT_FALSE(IsClientLibraryLoaded());
    EXPECT_TRUE(UnloadClientLibrary());

    winsim::FailNext("GetProcAddress", ERROR_SUCCESS);
    std::shared_ptr<IEppClient> client;
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_TRUE(FakeProduct::Instance().EntriesStartingWith("GetEndpointProtectionClientFactory").empty());
}

TEST_F(ClientLibrarySimTest, AFactoryThatIsNullGivesNoClient)
{
    Script().nullFactory = true;
    std::shared_ptr<IEppClient> client;
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()", "detach"));
}

TEST_F(ClientLibrarySimTest, AFailedClientCreationGivesGenFailureAndUnloads)
{
    Script().results["CreateEppClient"] = 8;
    std::shared_ptr<IEppClient> client;
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                                       "CreateEppClient(options=0) -> none", "detach"));

    FakeProduct::Instance().journal.clear();
    Script().results.clear();
    Script().nullObjects.insert("CreateEppClient");
    EXPECT_EQ(31u, ConnectClient(client));
    EXPECT_EQ(nullptr, client);
}

TEST_F(ClientLibrarySimTest, ConnectConnectsWithTenThousand)
{
    std::shared_ptr<IEppClient> client;
    ASSERT_EQ(0u, ConnectClient(client));
    ASSERT_NE(nullptr, client);
    EXPECT_EQ(1, Sdk::LiveObjectCount());
    client.reset();
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                                       "CreateEppClient(options=0) -> EppClient#1",
                                       "EppClient#1.Connect(10000)", "release EppClient#1", "detach"));
}

TEST_F(ClientLibrarySimTest, AFailedConnectReleasesTheClientAtOnceAndKeepsTheOldOne)
{
    std::shared_ptr<IEppClient> client;
    ASSERT_EQ(0u, ConnectClient(client));
    Script().results["Connect"] = 1722;
    const auto before = client;
    EXPECT_EQ(1722u, ConnectClient(client));
    EXPECT_EQ(before, client);
    EXPECT_EQ(1u, FakeProduct::Instance().EntriesStartingWith("release EppClient#2").size());
    EXPECT_EQ(1, Sdk::LiveObjectCount());
}

TEST_F(ClientLibrarySimTest, TheLibraryIsUnloadedRightAfterTheLastObjectIsReleased)
{
    std::shared_ptr<IEppClient> client;
    ASSERT_EQ(0u, ConnectClient(client));
    auto protection = Sdk::CreateRealtimeProtection(client);
    auto configuration = Sdk::CreateConfiguration(client);
    ASSERT_NE(nullptr, protection);
    ASSERT_NE(nullptr, configuration);
    EXPECT_EQ(3, Sdk::LiveObjectCount());
    EXPECT_FALSE(UnloadClientLibrary()) << "objects are alive";

    client.reset();
    protection.reset();
    EXPECT_TRUE(winsim::IsLibraryLoaded(kClientLibraryPath));
    configuration.reset();
    EXPECT_FALSE(winsim::IsLibraryLoaded(kClientLibraryPath));
    EXPECT_THAT(FakeProduct::Instance().EntriesStartingWith("Create"),
                ElementsAre("CreateEppClient(options=0) -> EppClient#1",
                            "CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                            "CreateConfiguration(EppClient#1) -> Configuration#3"));
    const auto& journal = Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ("release Configuration#3", journal[journal.size() - 2]);
    EXPECT_EQ("detach", journal.back());
}

TEST_F(ClientLibrarySimTest, EveryCreationUsesItsOwnFactoryOperation)
{
    std::shared_ptr<IEppClient> client;
    ASSERT_EQ(0u, ConnectClient(client));
    EXPECT_NE(nullptr, Sdk::CreateRealtimeProtection(client));
    EXPECT_NE(nullptr, Sdk::CreateFirewall(client));
    EXPECT_NE(nullptr, Sdk::CreateFirewallConfigurator(client));
    EXPECT_NE(nullptr, Sdk::CreateTrustedProcessLauncher(client));
    EXPECT_NE(nullptr, Sdk::CreateUpdater(client));
    EXPECT_NE(nullptr, Sdk::CreateConfiguration(client));
    client.reset();
    EXPECT_THAT(FakeProduct::Instance().EntriesStartingWith("Create"),
                ElementsAre("CreateEppClient(options=0) -> EppClient#1",
                            "CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                            "CreateFirewall(EppClient#1) -> Firewall#3",
                            "CreateFirewallConfigurator(EppClient#1) -> FirewallConfigurator#4",
                            "CreateTrustedProcessLauncher(EppClient#1) -> Launcher#5",
                            "CreateUpdater(EppClient#1) -> Updater#6",
                            "CreateConfiguration(EppClient#1) -> Configuration#7"));
    EXPECT_TRUE(FakeProduct::Instance().EntriesStartingWith("Factory.Reserved").empty());
}

TEST_F(ClientLibrarySimTest, AFailedObjectCreationLeavesTheOthersAlone)
{
    std::shared_ptr<IEppClient> client;
    ASSERT_EQ(0u, ConnectClient(client));
    Script().results["CreateUpdater"] = 5;
    Script().nullObjects.insert("CreateFirewall");
    EXPECT_EQ(nullptr, Sdk::CreateUpdater(client));
    EXPECT_EQ(nullptr, Sdk::CreateFirewall(client));
    EXPECT_EQ(1, Sdk::LiveObjectCount());
    EXPECT_TRUE(IsClientLibraryLoaded());
}

TEST_F(ClientLibrarySimTest, MakeSharedCountsItsObjectsAndReleasesEachOnce)
{
    ASSERT_EQ(0u, LoadClientLibrary());
    IEppClient* raw = nullptr;
    ASSERT_EQ(0u, FakeProduct::GetFactory()->CreateEppClient(&raw, 0));
    {
        auto first = SdkAccess::MakeShared(raw);
        auto copy = first;
        EXPECT_EQ(1, Sdk::LiveObjectCount());
        first.reset();
        EXPECT_TRUE(FakeProduct::Instance().EntriesStartingWith("release").empty());
    }
    EXPECT_EQ(0, Sdk::LiveObjectCount());
    EXPECT_EQ(1u, FakeProduct::Instance().EntriesStartingWith("release EppClient#1").size());
    EXPECT_FALSE(IsClientLibraryLoaded());
}
} // namespace
} // namespace Quelvo::testing
