// Every simulated call of each command line's clean run, failing in each of its documented ways.
#include "sweep/SweepScenarios.h"

#include <iostream>

namespace Quelvo::testing::sweep
{
namespace
{
// Prints the totals of the whole sweep once, when the test program ends.
class SweepReport : public ::testing::Environment
{
public:
    void TearDown() override
    {
        const auto& tally = SweepTally::Instance();
        std::cout << "fault sweep: " << tally.PlatformFaults() + tally.LibraryFaults() << " faults injected ("
                  << tally.PlatformFaults() << " in simulated calls, " << tally.LibraryFaults()
                  << " in the product library) over " << tally.Runs() << " runs; " << tally.DistinctPaths()
                  << " distinct paths covered\n";
    }
};

[[maybe_unused]] ::testing::Environment* const kSweepReport =
    ::testing::AddGlobalTestEnvironment(new SweepReport);

using PlatformFaultSweepSimTest = FaultSweepSimTest;

TEST_F(PlatformFaultSweepSimTest, EnableRealTimeProtectionWithTheServiceRunning)
{
    SweepPlatform(EnableRealTimeProtectionWithServiceRunning());
}

TEST_F(PlatformFaultSweepSimTest, EnableFirewallWithTheServiceRunning)
{
    SweepPlatform(EnableFirewallWithServiceRunning());
}

TEST_F(PlatformFaultSweepSimTest, EnableWithTheServiceStoppedRecoversIt)
{
    SweepPlatform(EnableWithServiceStopped());
}

TEST_F(PlatformFaultSweepSimTest, EnableWithAServiceThatDiesWhileStartingNeverSucceeds)
{
    SweepPlatform(EnableWithServiceDyingWhileStarting());
}

TEST_F(PlatformFaultSweepSimTest, EnableWithTheServiceMissing)
{
    SweepPlatform(EnableWithServiceMissing());
}

TEST_F(PlatformFaultSweepSimTest, Update)
{
    SweepPlatform(UpdateProductScenario());
}

TEST_F(PlatformFaultSweepSimTest, Launch)
{
    SweepPlatform(LaunchScenario());
}

TEST_F(PlatformFaultSweepSimTest, Renew)
{
    SweepPlatform(RenewScenario());
}

TEST_F(PlatformFaultSweepSimTest, Relaunch)
{
    SweepPlatform(RelaunchScenario());
}

TEST_F(PlatformFaultSweepSimTest, RelaunchFromAPathLongerThanMaxPath)
{
    SweepPlatform(RelaunchFromLongPathScenario());
}

TEST_F(PlatformFaultSweepSimTest, TrustedDisable)
{
    SweepPlatform(TrustedDisableScenario());
}
} // namespace
} // namespace Quelvo::testing::sweep
