#include "sdk/commands/ProtectionCommands.h"
#include "support/FakeProductSimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <winsim/Control.h>

namespace Quelvo::testing
{
namespace
{
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// 2023-11-14T22:13:20Z
constexpr std::int64_t kNow = 1700000000;

class ProtectionCommandsSimTest : public FakeProductSimTest
{
protected:
    void SetUp() override
    {
        FakeProductSimTest::SetUp();
        winsim::SetWallClock(kNow);
        winsim::SetTimeZone("UTC0");
    }

    static std::vector<std::string> Calls(const std::string& prefix)
    {
        return FakeProduct::Instance().EntriesStartingWith(prefix);
    }
};

TEST_F(ProtectionCommandsSimTest, EnableCallsEnableAndReleasesTheObjectBeforeTheClient)
{
    Script().results["Enable"] = 0;
    EXPECT_EQ(0u, SetRealTimeProtection(true));
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                                       "CreateEppClient(options=0) -> EppClient#1",
                                       "EppClient#1.Connect(10000)", "GetEndpointProtectionClientFactory()",
                                       "CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                                       "RealTimeProtection#2.Enable()", "release RealTimeProtection#2",
                                       "release EppClient#1", "detach"));
}

TEST_F(ProtectionCommandsSimTest, TheResultsOfTheSdkPassThroughUnchanged)
{
    Script().results["Enable"] = 0xE0001234;
    EXPECT_EQ(0xE0001234u, SetRealTimeProtection(true));
    Script().results["StartUpdate"] = 1618;
    EXPECT_EQ(1618u, UpdateProduct());
    Script().results["FirewallEnable"] = 4321;
    EXPECT_EQ(4321u, EnableFirewall());
    Script().timestamp = "2000-01-01";
    Script().results["Disable"] = 77;
    EXPECT_EQ(77u, SetRealTimeProtection(false));
}

TEST_F(ProtectionCommandsSimTest, TurningOnNeverReadsTheConfiguration)
{
    Script().timestamp = "2999-01-01T00:00:00Z";
    EXPECT_EQ(0u, SetRealTimeProtection(true));
    EXPECT_THAT(Calls("CreateConfiguration"), IsEmpty());
}

TEST_F(ProtectionCommandsSimTest, TurningOffPassesTheTimeGateOnlyWithATimeStampBeforeNow)
{
    struct Case
    {
        std::optional<std::string> timestamp;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"2023-11-13T22:13:20Z", 0}, // a day ago
        {"2023-11-14T22:13:19Z", 0}, // a second ago
        {"2023-11-14T22:13:20Z", 5}, // this very second
        {"2023-11-15T22:13:20Z", 5}, // tomorrow
        {"2000-01-01", 0},           // date only: local midnight
        {"2023-11-14 22:13:19", 0},  // local time with a blank
        {"2023-11-14T22:13:21", 5},  // local time, a second ahead
        {std::nullopt, 5},           // no text
        {"", 5},                     // empty text
        {"2024/01/01", 1064},        // malformed
        {"2023-11-14T22:13:19z", 1064},
        {"1969-12-31T23:59:59Z", 1064}, // before 1970
    };
    for (const auto& c : cases)
    {
        FakeProduct::Instance().Reset();
        Script().timestamp = c.timestamp;
        EXPECT_EQ(c.expected, SetRealTimeProtection(false)) << c.timestamp.value_or("(null)");
        EXPECT_EQ(c.expected == 0 ? 1u : 0u, Calls("RealTimeProtection#2.Disable()").size())
            << c.timestamp.value_or("(null)");
        EXPECT_EQ(0, FakeProduct::Instance().liveObjects);
        EXPECT_EQ(0, FakeProduct::Instance().liveStrings);
    }
}

TEST_F(ProtectionCommandsSimTest, TheGateFollowsTheWallClock)
{
    Script().timestamp = "2023-11-14T22:13:25Z";
    EXPECT_EQ(5u, SetRealTimeProtection(false));
    winsim::AdvanceClock(5000);
    EXPECT_EQ(5u, SetRealTimeProtection(false));
    winsim::AdvanceClock(1000);
    EXPECT_EQ(0u, SetRealTimeProtection(false));
}

TEST_F(ProtectionCommandsSimTest, TurningOffReleasesTheStringAndTheConfigurationBeforeTheOthers)
{
    Script().timestamp = "2000-01-01T00:00:00Z";
    Script().stringRelease = "two";
    EXPECT_EQ(0u, SetRealTimeProtection(false));
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                                       "CreateEppClient(options=0) -> EppClient#1",
                                       "EppClient#1.Connect(10000)", "GetEndpointProtectionClientFactory()",
                                       "CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                                       "GetEndpointProtectionClientFactory()",
                                       "CreateConfiguration(EppClient#1) -> Configuration#3",
                                       "Configuration#3.GetTimestamp()", "string release two timestamp",
                                       "release Configuration#3", "RealTimeProtection#2.Disable()",
                                       "release RealTimeProtection#2", "release EppClient#1", "detach"));
}

TEST_F(ProtectionCommandsSimTest, AFailedTimeStampQueryRefusesWithAccessDenied)
{
    Script().timestamp = "2000-01-01T00:00:00Z";
    Script().results["GetTimestamp"] = 1234;
    EXPECT_EQ(5u, SetRealTimeProtection(false));
    EXPECT_THAT(Calls("RealTimeProtection#2.Disable"), IsEmpty());
    EXPECT_THAT(Calls("string release"), ElementsAre("string release one timestamp"));
}

TEST_F(ProtectionCommandsSimTest, NoConfigurationObjectRefusesTurningOff)
{
    Script().nullObjects.insert("CreateConfiguration");
    EXPECT_EQ(5u, SetRealTimeProtection(false));
    EXPECT_THAT(Calls("RealTimeProtection#2.Disable"), IsEmpty());
}

TEST_F(ProtectionCommandsSimTest, NoRealTimeProtectionObjectGives1225WithoutConsultingTheGate)
{
    Script().results["CreateRealtimeProtection"] = 8;
    EXPECT_EQ(1225u, SetRealTimeProtection(false));
    EXPECT_EQ(1225u, SetRealTimeProtection(true));
    EXPECT_THAT(Calls("CreateConfiguration"), IsEmpty());
}

TEST_F(ProtectionCommandsSimTest, EveryActionReturnsTheConnectResultAndCreatesNothingElse)
{
    Script().results["Connect"] = 1722;
    EXPECT_EQ(1722u, SetRealTimeProtection(true));
    EXPECT_EQ(1722u, SetRealTimeProtection(false));
    EXPECT_EQ(1722u, EnableFirewall());
    EXPECT_EQ(1722u, UpdateProduct());
    EXPECT_EQ(4u, Calls("CreateEppClient").size());
    EXPECT_EQ(4u, Calls("GetEndpointProtectionClientFactory").size());
}

TEST_F(ProtectionCommandsSimTest, EveryActionReturnsGenFailureWithoutTheLibrary)
{
    winsim::RemoveLibrary(kClientLibraryPath);
    EXPECT_EQ(31u, SetRealTimeProtection(true));
    EXPECT_EQ(31u, SetRealTimeProtection(false));
    EXPECT_EQ(31u, EnableFirewall());
    EXPECT_EQ(31u, UpdateProduct());
    EXPECT_EQ(4u, winsim::CallCount("LoadLibraryExW"));
}

TEST_F(ProtectionCommandsSimTest, TheFirewallIsEnabledOnlyWhenTheConfiguratorAllowsIt)
{
    EXPECT_EQ(0u, EnableFirewall());
    EXPECT_THAT(Journal(), ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                                       "CreateEppClient(options=0) -> EppClient#1",
                                       "EppClient#1.Connect(10000)", "GetEndpointProtectionClientFactory()",
                                       "CreateFirewallConfigurator(EppClient#1) -> FirewallConfigurator#2",
                                       "FirewallConfigurator#2.IsEnableAllowed(false)",
                                       "GetEndpointProtectionClientFactory()",
                                       "CreateFirewall(EppClient#1) -> Firewall#3", "Firewall#3.Enable()",
                                       "release Firewall#3", "release FirewallConfigurator#2",
                                       "release EppClient#1", "detach"));
}

TEST_F(ProtectionCommandsSimTest, ARefusingConfiguratorGivesAccessDeniedOrItsCode)
{
    Script().firewallAllowed = false;
    EXPECT_EQ(5u, EnableFirewall());
    EXPECT_THAT(Calls("CreateFirewall("), IsEmpty());

    Script().firewallAllowed = true;
    Script().results["IsEnableAllowed"] = 1062;
    EXPECT_EQ(1062u, EnableFirewall());
    EXPECT_THAT(Calls("CreateFirewall("), IsEmpty());
}

TEST_F(ProtectionCommandsSimTest, MissingFirewallObjectsGive1225)
{
    Script().nullObjects.insert("CreateFirewallConfigurator");
    EXPECT_EQ(1225u, EnableFirewall());
    Script().nullObjects = {"CreateFirewall"};
    EXPECT_EQ(1225u, EnableFirewall());
    EXPECT_EQ(1u, Calls("FirewallConfigurator#3.IsEnableAllowed").size());
}

TEST_F(ProtectionCommandsSimTest, UpdateStartsAnUpdateWithAnEmptyTextAndTheFlagSet)
{
    EXPECT_EQ(0u, UpdateProduct());
    EXPECT_THAT(Calls("Updater#2."), ElementsAre("Updater#2.StartUpdate(\"\", true, slot)"));
    Script().results["CreateUpdater"] = 5;
    EXPECT_EQ(1225u, UpdateProduct());
}
} // namespace
} // namespace Quelvo::testing
