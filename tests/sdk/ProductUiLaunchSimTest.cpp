#include "sdk/commands/ProductUiLaunch.h"
#include "support/FakeProductSimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winsim/Control.h>
#include <winsim/Processes.h>

namespace Quelvo::testing
{
namespace
{
using ::testing::IsEmpty;

const std::wstring kUiPath = L"C:\\Program Files\\Quelvo Product\\ui.exe";

class ProductUiLaunchSimTest : public FakeProductSimTest
{
protected:
    void SetUp() override
    {
        FakeProductSimTest::SetUp();
        winsim::AddApplication(kUiPath);
        Script().uiPath = "C:\\Program Files\\Quelvo Product\\ui.exe";
    }
};

TEST_F(ProductUiLaunchSimTest, StartsTheConfiguredUiWithTheGivenArgumentsAndDoesNotWait)
{
    EXPECT_EQ(0u, LaunchProductUi(L""));
    EXPECT_EQ(0u, LaunchProductUi(L"/renew"));
    const auto& creations = winsim::ProcessCreations();
    ASSERT_EQ(2u, creations.size());
    EXPECT_EQ(kUiPath, creations[0].applicationName.value_or(L""));
    EXPECT_EQ(L"\"ui.exe\" ", creations[0].commandLine.value_or(L""));
    EXPECT_EQ(L"\"ui.exe\" /renew", creations[1].commandLine.value_or(L""));
    EXPECT_EQ(0x230u, creations[1].creationFlags);
    EXPECT_TRUE(winsim::IsProcessRunning(creations[1].processId));
    EXPECT_EQ(2u, FakeProduct::Instance().EntriesStartingWith("string release one ui path").size());
}

TEST_F(ProductUiLaunchSimTest, NoUiPathStartsNothing)
{
    Script().uiPath.reset();
    EXPECT_EQ(0u, LaunchProductUi(L""));
    EXPECT_THAT(winsim::ProcessCreations(), IsEmpty());
}

TEST_F(ProductUiLaunchSimTest, AFailedPathQueryPassesItsCodeAndReleasesTheString)
{
    Script().results["GetUiPath"] = 1168;
    Script().stringRelease = "two";
    EXPECT_EQ(1168u, LaunchProductUi(L""));
    EXPECT_THAT(winsim::ProcessCreations(), IsEmpty());
    EXPECT_EQ(1u, FakeProduct::Instance().EntriesStartingWith("string release two ui path").size());
}

TEST_F(ProductUiLaunchSimTest, AMissingProgramOrAnInvalidPathGives1064)
{
    Script().uiPath = "C:\\nowhere\\ui.exe";
    EXPECT_EQ(1064u, LaunchProductUi(L""));
    Script().uiPath = "C:\\bad\xff\\ui.exe";
    EXPECT_EQ(1064u, LaunchProductUi(L""));
    EXPECT_EQ(1u, winsim::ProcessCreations().size()) << "the invalid path never reaches CreateProcessW";
}

TEST_F(ProductUiLaunchSimTest, NoClientOrNoConfigurationObject)
{
    Script().nullObjects.insert("CreateConfiguration");
    EXPECT_EQ(1225u, LaunchProductUi(L"/renew"));
    Script().results["Connect"] = 1722;
    EXPECT_EQ(1722u, LaunchProductUi(L""));
    winsim::RemoveLibrary(kClientLibraryPath);
    EXPECT_EQ(31u, LaunchProductUi(L""));
    EXPECT_THAT(winsim::ProcessCreations(), IsEmpty());
}
} // namespace
} // namespace Quelvo::testing
