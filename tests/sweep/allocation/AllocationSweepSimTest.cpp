// The allocation sweep: each command line of the fault sweep runs once to count the allocations the
// tool makes on its road, then once per allocation with that one failing, and once with it and every
// later one failing; the same again on the road of each platform fault of the fault sweep. Every run
// must end with a code, never 0 unless the action was carried out, leave no handle open, no SDK object
// or string alive and the client library unloaded; where the road defines the codes that an allocation
// failure gives, the code is one of them. The entry point's own copy of the line is the one allocation
// whose failure leaves it: the entry point catches nothing, and its terminate handler ends the process
// with ERROR_NOT_ENOUGH_MEMORY (app/OutOfMemoryExit.h; the shipped files' sweep runs it).
#include "app/CommandLine.h"
#include "sweep/SweepScenarios.h"
#include "sweep/allocation/AllocationFailure.h"

#include <cctype>
#include <iostream>
#include <new>

namespace Quelvo::testing::sweep
{
namespace
{
using Mode = AllocationFailure::Mode;

constexpr std::uint32_t kNotEnoughMemory = 8;

struct Row
{
    Scenario scenario;
    // The codes an allocation failure may end the run with. Nothing where the road can pass through
    // the service check, which takes a failure for a service that is down and goes on to recover it.
    std::optional<std::set<std::uint32_t>> codes;
};

// Names the row in gtest's reports.
[[maybe_unused]] void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.scenario.name;
}

struct AllocationTally
{
    // Allocation sites failed on the clean roads, and after each platform fault.
    std::size_t sites = 0;
    std::size_t sitesAfterFaults = 0;
    std::size_t platformFaults = 0;
    std::size_t runs = 0;
    std::size_t crashes = 0;
    std::size_t leaks = 0;
    std::size_t falseSuccesses = 0;

    static AllocationTally& Instance()
    {
        static AllocationTally tally;
        return tally;
    }
};

class AllocationSweepReport : public ::testing::Environment
{
public:
    void TearDown() override
    {
        const auto& tally = AllocationTally::Instance();
        std::cout
            << "allocation sweep: " << tally.sites + tally.sitesAfterFaults << " allocation sites failed ("
            << tally.sites << " on the clean roads, " << tally.sitesAfterFaults << " after "
            << tally.platformFaults << " platform faults), once and from there on, over "
            << SweepTally::Instance().DistinctPaths() << " paths in " << tally.runs
            << " runs: " << tally.crashes << " crashes, " << tally.leaks << " leaks, " << tally.falseSuccesses
            << " false successes; but the first site of every road, the entry point's copy of the line, "
               "lets std::bad_alloc out to the terminate handler, which ends with 8\n";
    }
};

[[maybe_unused]] ::testing::Environment* const kAllocationSweepReport =
    ::testing::AddGlobalTestEnvironment(new AllocationSweepReport);

struct Outcome
{
    std::optional<std::uint32_t> code;
    bool badAllocEscaped = false;
    std::string otherEscape;
    std::size_t counted = 0;
    std::size_t failed = 0;
};

// One run through the entry with the `nth` allocation failing (0: none). The harness allocates only
// once the failure is disarmed again.
Outcome RunFailing(const Scenario& scenario, std::size_t nth, Mode mode)
{
    Outcome outcome;
    try
    {
        const ArmedAllocationFailure armed(nth, mode);
        outcome.code = RunTool(scenario.commandLine.c_str());
    }
    catch (const std::bad_alloc&)
    {
        outcome.badAllocEscaped = true;
    }
    catch (const std::exception& e)
    {
        outcome.otherEscape = e.what();
    }
    catch (...)
    {
        outcome.otherEscape = "an unknown exception";
    }
    outcome.counted = AllocationFailure::Counted();
    outcome.failed = AllocationFailure::Failed();
    return outcome;
}

// The entry point copies the line before anything else: these are the first allocations of a run.
std::size_t EntryPointAllocations(const std::wstring& commandLine)
{
    const ArmedAllocationFailure counting(0, Mode::Once);
    const std::wstring line = LowerCasedCommandLine(commandLine.c_str());
    return AllocationFailure::Counted();
}

int FailuresSoFar()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class AllocationSweepSimTest : public FaultSweepSimTest, public ::testing::WithParamInterface<Row>
{
protected:
    // The clean run, counted; its call log. The first run in the process builds the lower-casing
    // locale: one run beforehand lets every counted run allocate alike.
    CallLog CleanRun(const Row& row)
    {
        const Scenario& scenario = row.scenario;
        Arrange(scenario);
        RunFailing(scenario, 0, Mode::Once);
        Arrange(scenario);
        const Outcome clean = RunFailing(scenario, 0, Mode::Once);
        const CallLog log = winsim::CallLog();
        [&] { ASSERT_TRUE(clean.code.has_value()) << "the clean run did not end with a code"; }();
        if (clean.code)
        {
            if (scenario.cleanCode)
            {
                EXPECT_EQ(*scenario.cleanCode, *clean.code);
            }
            EXPECT_EQ(*clean.code == 0, scenario.carriedOut());
        }
        CheckAftermath(scenario, {});
        return log;
    }

    // Counts the allocations of one run, with `fault` injected when there is one, then reruns it once
    // per allocation with that one failing, and once with it and every later one failing.
    void SweepAllocations(const Row& row, const std::optional<PlatformFault>& fault)
    {
        const Scenario& scenario = row.scenario;
        const std::string road = fault ? Describe(scenario, *fault) : scenario.name;
        const auto arrange = [&]
        {
            Arrange(scenario);
            if (fault)
            {
                winsim::FailNth(fault->function, fault->occurrence, fault->error);
            }
        };
        arrange();
        const std::size_t allocations = RunFailing(scenario, 0, Mode::Once).counted;
        const std::size_t entryPoint = EntryPointAllocations(scenario.commandLine);
        ASSERT_LT(entryPoint, allocations) << road;
        for (const Mode mode : {Mode::Once, Mode::FromThereOn})
        {
            for (std::size_t nth = 1; nth <= allocations; ++nth)
            {
                SCOPED_TRACE(road + "; allocation " + std::to_string(nth) + " of " +
                             std::to_string(allocations) + " fails" +
                             (mode == Mode::FromThereOn ? ", and every later one" : ""));
                arrange();
                const Outcome outcome = RunFailing(scenario, nth, mode);
                // A failed release leaves its handle, when the run still came to it.
                const bool releaseFailed =
                    fault && IsReleaseCall(fault->function) && winsim::FaultsDelivered() != 0;
                Judge(row, outcome, nth <= entryPoint, fault.has_value(),
                      releaseFailed ? fault->function : std::string());
                if (mode == Mode::Once)
                {
                    EXPECT_EQ(1u, outcome.failed) << "the failure was not reached";
                }
                else
                {
                    EXPECT_LE(1u, outcome.failed) << "the failure was not reached";
                }
            }
        }
        auto& tally = AllocationTally::Instance();
        (fault ? tally.sitesAfterFaults : tally.sites) += allocations;
        tally.platformFaults += fault ? 1 : 0;
    }

private:
    // The codes of a row hold on its clean road; after a platform fault, any code will do.
    static void Judge(const Row& row, const Outcome& outcome, bool inEntryPoint, bool afterFault,
                      const std::string& failedRelease)
    {
        auto& tally = AllocationTally::Instance();
        ++tally.runs;
        SweepTally::Instance().AddPath(winsim::CallLog(), FakeProduct::Instance().journal);
        if (inEntryPoint)
        {
            EXPECT_TRUE(outcome.badAllocEscaped) << "a failed copy of the line leaves the entry point";
            EXPECT_TRUE(winsim::CallLog().empty()) << "Windows was called before the line was copied";
            EXPECT_TRUE(FakeProduct::Instance().journal.empty());
        }
        else if (!outcome.code)
        {
            ++tally.crashes;
            ADD_FAILURE() << (outcome.badAllocEscaped ? std::string("std::bad_alloc") : outcome.otherEscape)
                          << " escaped the entry";
        }
        else if (*outcome.code == 0 && !row.scenario.carriedOut())
        {
            ++tally.falseSuccesses;
            ADD_FAILURE() << "success reported for an action that was not carried out";
        }
        else if (!afterFault && row.codes && row.codes->count(*outcome.code) == 0)
        {
            ADD_FAILURE() << "code " << *outcome.code << " is none that an allocation failure gives here";
        }
        const int failuresBefore = FailuresSoFar();
        CheckAftermath(row.scenario, failedRelease);
        if (FailuresSoFar() != failuresBefore)
        {
            ++tally.leaks;
        }
    }
};

TEST_P(AllocationSweepSimTest, EveryAllocationFailing)
{
    CleanRun(GetParam());
    if (!HasFatalFailure())
    {
        SweepAllocations(GetParam(), std::nullopt);
    }
}

// The failure paths allocate too: the messages of the errors raised, the fallbacks that compose them.
TEST_P(AllocationSweepSimTest, EveryAllocationFailingAfterEachPlatformFault)
{
    const CallLog cleanLog = CleanRun(GetParam());
    for (const auto& fault : PlatformFaultsOf(GetParam().scenario, cleanLog))
    {
        SweepAllocations(GetParam(), fault);
    }
}

// A failed allocation is reported as such, ERROR_NOT_ENOUGH_MEMORY: by the protection commands and the
// UI launch, the trusted relaunch, the loading of the client library and the service recovery alike.
std::vector<Row> Rows()
{
    const std::set<std::uint32_t> action = {kNotEnoughMemory};
    const std::set<std::uint32_t> relaunch = action;
    return {
        {EnableRealTimeProtectionWithServiceRunning(), std::nullopt},
        {EnableFirewallWithServiceRunning(), std::nullopt},
        {EnableWithServiceStopped(), std::nullopt},
        {EnableWithServiceDyingWhileStarting(), std::nullopt},
        {EnableWithServiceMissing(), std::nullopt},
        {UpdateProductScenario(), action},
        {LaunchScenario(), action},
        {RenewScenario(), action},
        {RelaunchScenario(), relaunch},
        {RelaunchFromLongPathScenario(), relaunch},
        {TrustedDisableScenario(), action},
    };
}

// "enable firewall, service running" -> EnableFirewallServiceRunning
std::string TestName(const ::testing::TestParamInfo<Row>& info)
{
    std::string name;
    bool wordStart = true;
    for (const char c : info.param.scenario.name)
    {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0)
        {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        wordStart = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(CommandLines, AllocationSweepSimTest, ::testing::ValuesIn(Rows()), TestName);
} // namespace
} // namespace Quelvo::testing::sweep
