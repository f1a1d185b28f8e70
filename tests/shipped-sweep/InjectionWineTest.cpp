// The injector against a program of known calls: it counts each call by site, fails exactly the planned
// call (by site and ordinal, or by the function's ordinal), follows functions resolved at run time, and
// fails allocations once or from then on.
#include "injector/Convention.h"
#include "injector/InjectedRun.h"

#include "support/BuildPath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

namespace Quelvo::Injection
{
namespace
{
std::uint32_t Row(const char* name)
{
    const std::uint32_t row = ConventionRow(name);
    EXPECT_NE(kConventionCount, row) << name;
    return row;
}

class InjectionTest : public ::testing::Test
{
protected:
    RunResult Run(const FaultPlan& plan)
    {
        const std::wstring target = Testing::FromBuild(QUELVO_INJECTION_TARGET);
        return m_run.Run(target, L"", target.substr(0, target.find_last_of(L'\\') + 1), plan, 20000);
    }

    // The counted calls of one function, in call order.
    std::vector<CallEvent> Calls(const char* name) const
    {
        std::vector<CallEvent> calls;
        const Ledger& ledger = m_run.Record();
        for (LONG i = 0; i < ledger.eventCount; ++i)
        {
            if (std::strcmp(kConventions[ledger.events[i].row].name, name) == 0)
            {
                calls.push_back(ledger.events[i]);
            }
        }
        return calls;
    }

    InjectedRun m_run{Testing::FromBuild(QUELVO_INJECTION_HOOK)};
};

TEST_F(InjectionTest, CountsEachCallBySiteAndFailsOnlyThePlannedOne)
{
    const RunResult counted = Run({Mode::Count, 0, 0, 0, 0, 0, 0});
    ASSERT_FALSE(counted.hung);
    EXPECT_EQ(0u, counted.exitCode);
    const auto calls = Calls("SetEnvironmentVariableW");
    ASSERT_EQ(5u, calls.size());
    // The loop's site three times, then the second site, then the resolved pointer's call at a site of
    // its own.
    EXPECT_EQ(calls[0].rva, calls[2].rva);
    EXPECT_EQ(1u, calls[0].ordinal);
    EXPECT_EQ(3u, calls[2].ordinal);
    EXPECT_NE(calls[0].rva, calls[3].rva);
    EXPECT_NE(calls[3].rva, calls[4].rva);
    EXPECT_EQ(calls[0].stack, calls[2].stack);
    EXPECT_NE(kOutsideTool, calls[4].rva);
    ASSERT_EQ(1u, Calls("_aligned_malloc").size());

    const std::uint32_t set = Row("SetEnvironmentVariableW");
    const std::uint32_t aligned = Row("_aligned_malloc");
    const struct
    {
        FaultPlan plan;
        DWORD exitCode;
    } rows[] = {
        {{Mode::Fail, 0, set, calls[0].rva, 2, 0, 1067}, 2 | 1067u << 8},
        {{Mode::Fail, 0, set, calls[3].rva, 1, 0, 1450}, 8 | 1450u << 8},
        {{Mode::Fail, 0, set, kAnySite, 5, 0, 5}, 16 | 5u << 8},
        {{Mode::Fail, 0, set, calls[0].rva, 4, 0, 1067}, 0},
        {{Mode::Fail, 1, set, calls[0].rva, 1, 0, 1067}, 0},
        {{Mode::Fail, 0, aligned, kAnySite, 1, 0, 12}, 32},
        {{Mode::Fail, 0, aligned, kAnySite, 1, 1, 12}, 32 | 64},
    };
    for (const auto& row : rows)
    {
        const RunResult result = Run(row.plan);
        EXPECT_FALSE(result.hung);
        EXPECT_EQ(row.exitCode, result.exitCode) << "row " << (&row - rows);
        EXPECT_EQ(row.exitCode != 0 ? 1 : 0, m_run.Record().failed != 0 ? 1 : 0) << "row " << (&row - rows);
    }
}
} // namespace
} // namespace Quelvo::Injection
