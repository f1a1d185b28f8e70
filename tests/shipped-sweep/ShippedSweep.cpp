// The shipped fault sweep: runs the shipped remediation.exe, unchanged, against the demo product with
// the hook library inside it. For each scenario a counting run first names every call of an imported
// function by its site (return address in the tool) and the chain of frames that led to it; then each
// distinct call is failed once in a run of its own (a call reached the same way in an earlier scenario
// is not failed again), and an allocation site's first call once more with every later allocation
// failing too. A site that a loop reaches many times the same way is failed at its first, second and
// last call there: the library's locale construction alone calls setlocale some 80 times a site. Each run is
// judged by the rules of SweepRules.h; the tallies end the output.
//   shipped_sweep <architecture> [--time-limit-ms N] [--budget-s N] [--only <scenario index>]...
// With a budget, the first calls of every site run first (all scenarios), then the further calls of
// sites in loops and the allocations failing from then on, until the budget is spent.
#include "ProductFolder.h"
#include "Scenario.h"
#include "SweepRules.h"
#include "injector/Convention.h"
#include "injector/InjectedRun.h"

#include "base/TextConversion.h"
#include "support/BuildPath.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace Quelvo::ShippedSweep
{
namespace
{
using namespace Injection;
using Clock = std::chrono::steady_clock;

constexpr DWORD kInjectedError = ERROR_PROCESS_ABORTED; // 1067: no call of the tool fails with it by itself
constexpr DWORD kAllocationErrno = 12;                  // ENOMEM

struct Target
{
    std::size_t scenario;
    std::uint32_t process;
    std::uint32_t row;
    std::uint32_t rva;
    std::uint32_t ordinal;
    bool fromThenOn;
    bool further; // a later call of a site in a loop, or an allocation failing from then on
};

struct Tally
{
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> sites;
    int runs = 0;
    int notReached = 0;
    std::map<Verdict, int> verdicts;
};

struct Options
{
    std::string architecture;
    DWORD timeLimitMs = 20000;
    long long budgetSeconds = 0; // 0: no budget
    std::set<std::size_t> only;  // empty: every scenario
};

Options ParseOptions(int count, wchar_t** arguments)
{
    Options options;
    options.architecture = count > 1 ? Utf8FromUtf16(arguments[1]) : "x86_64";
    for (int i = 2; i + 1 < count; i += 2)
    {
        const std::wstring name = arguments[i];
        const unsigned long value = std::wcstoul(arguments[i + 1], nullptr, 10);
        if (name == L"--time-limit-ms")
        {
            options.timeLimitMs = value;
        }
        else if (name == L"--budget-s")
        {
            options.budgetSeconds = static_cast<long long>(value);
        }
        else if (name == L"--only")
        {
            options.only.insert(value);
        }
    }
    return options;
}

std::string Describe(const std::vector<Scenario>& scenarios, const Target& target)
{
    char text[512] = {};
    std::snprintf(text, sizeof(text), "%s (%s) | %s at +0x%X, call %u of the site%s%s",
                  Utf8FromUtf16(scenarios[target.scenario].commandLine).c_str(),
                  scenarios[target.scenario].what, kConventions[target.row].name, target.rva, target.ordinal,
                  target.process != 0 ? ", in the started instance" : "",
                  target.fromThenOn ? ", every allocation from then on" : "");
    return text;
}

class Sweep
{
public:
    explicit Sweep(Options options)
        : m_options(std::move(options)), m_run(Testing::FromBuild(QUELVO_SWEEP_HOOK_LIBRARY)),
          m_product(Testing::FromBuild(QUELVO_SWEEP_PRODUCT_FOLDER) + L"\\",
                    Testing::FromBuild(QUELVO_SWEEP_TOOL), Testing::FromBuild(QUELVO_SWEEP_CLIENT),
                    Testing::FromBuild(QUELVO_SWEEP_UI)),
          m_scenarios(Scenarios(Utf8FromUtf16(m_product.UiPath())))
    {
    }

    int Run()
    {
        const auto start = Clock::now();
        std::vector<Target> targets;
        for (std::size_t index = 0; index < m_scenarios.size(); ++index)
        {
            if (m_options.only.empty() || m_options.only.contains(index))
            {
                Count(index, targets);
                ++m_scenariosRun;
            }
        }
        std::printf("shipped fault sweep (%s): %zu runs planned after counting, in %lld s\n",
                    m_options.architecture.c_str(), targets.size(), Seconds(start));
        std::fflush(stdout);
        int leftOut = 0;
        for (const bool further : {false, true})
        {
            int planned = 0;
            int run = 0;
            for (const Target& target : targets)
            {
                if (target.further != further)
                {
                    continue;
                }
                ++planned;
                if (m_options.budgetSeconds != 0 && Seconds(start) >= m_options.budgetSeconds)
                {
                    ++leftOut;
                    continue;
                }
                Fail(target);
                ++run;
            }
            std::printf("shipped fault sweep (%s): %s: %d of %d runs, after %lld s\n",
                        m_options.architecture.c_str(),
                        further ? "further calls of sites in loops, allocations failing from then on"
                                : "the first call of every site",
                        run, planned, Seconds(start));
            std::fflush(stdout);
        }
        PrintTallies(leftOut, Seconds(start));
        return Findings() == 0 ? 0 : 1;
    }

private:
    static long long Seconds(Clock::time_point since)
    {
        return std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - since).count();
    }

    RunOutcome RunScenario(const Scenario& scenario, const FaultPlan& plan)
    {
        m_product.Reset(scenario);
        const RunResult result = m_run.Run(m_product.Tool(), scenario.commandLine, m_product.Folder(), plan,
                                           m_options.timeLimitMs);
        RunOutcome outcome;
        outcome.code = result.exitCode;
        outcome.hung = result.hung;
        outcome.product = m_product.Read(false);
        return outcome;
    }

    // The counting run: the scenario's own codes, and the calls to fail.
    void Count(std::size_t index, std::vector<Target>& targets)
    {
        const Scenario& scenario = m_scenarios[index];
        const RunOutcome outcome = RunScenario(scenario, FaultPlan{Mode::Count, 0, 0, 0, 0, 0, 0});
        const Judgement judgement = Judge(scenario, std::nullopt, outcome);
        if (judgement.verdict != Verdict::Pass)
        {
            std::printf("FINDING %s: %s (%s) without a fault: %s\n", VerdictName(judgement.verdict),
                        Utf8FromUtf16(scenario.commandLine).c_str(), scenario.what, judgement.detail.c_str());
            ++m_tally.verdicts[judgement.verdict];
        }
        const Ledger& ledger = m_run.Record();
        for (std::uint32_t row = 0; row < kConventionCount; ++row)
        {
            m_hooked[row] = m_hooked[row] || ledger.hookedRows[row] != 0;
        }
        if (ledger.unknownImports != 0)
        {
            std::printf("FINDING: %ld imports of the tool have no row and were not hooked\n",
                        ledger.unknownImports);
            ++m_tally.verdicts[Verdict::WrongCode];
        }
        const LONG events =
            ledger.eventCount < static_cast<LONG>(kMaxEvents) ? ledger.eventCount : kMaxEvents;
        using Way = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint64_t>;
        std::map<Way, std::uint32_t> total;
        for (LONG i = 0; i < events; ++i)
        {
            const CallEvent& event = ledger.events[i];
            ++total[{event.process, event.row, event.rva, event.stack}];
        }
        std::map<Way, std::uint32_t> occurrences;
        std::size_t planned = 0;
        for (LONG i = 0; i < events; ++i)
        {
            const CallEvent& event = ledger.events[i];
            m_called[event.row] = true;
            const Convention& convention = kConventions[event.row];
            const Way way{event.process, event.row, event.rva, event.stack};
            const std::uint32_t occurrence = ++occurrences[way];
            if (occurrence > 2 && occurrence < total[way])
            {
                continue;
            }
            const int state = DependsOnTheService(event.row) ? static_cast<int>(scenario.service) : -1;
            const bool fresh =
                m_failedBefore
                    .insert({event.process != 0, state, event.row, event.rva, event.stack, occurrence})
                    .second;
            if (!fresh || convention.failure == Failure::Never)
            {
                continue;
            }
            const bool further = event.ordinal > 1;
            targets.push_back({index, event.process, event.row, event.rva, event.ordinal, false, further});
            ++planned;
            if (convention.kind == Kind::Allocation && event.ordinal == 1)
            {
                targets.push_back({index, event.process, event.row, event.rva, event.ordinal, true, true});
                ++planned;
            }
        }
        std::printf("%-22s %-5lu %-46s %5ld calls, %4zu runs planned\n",
                    Utf8FromUtf16(scenario.commandLine).c_str(), outcome.code, scenario.what, events,
                    planned);
        std::fflush(stdout);
    }

    void Fail(const Target& target)
    {
        const Scenario& scenario = m_scenarios[target.scenario];
        const Convention& convention = kConventions[target.row];
        const bool allocation = convention.kind == Kind::Allocation;
        const DWORD error = allocation ? kAllocationErrno : kInjectedError;
        const FaultPlan plan{Mode::Fail, target.process, target.row,
                             target.rva, target.ordinal, target.fromThenOn ? 1u : 0u,
                             error};
        const RunOutcome outcome = RunScenario(scenario, plan);
        const bool fired = m_run.Record().failed != 0;
        ++m_tally.runs;
        if (!fired)
        {
            ++m_tally.notReached;
        }
        else
        {
            m_tally.sites.insert({target.process, target.row, target.rva});
        }
        const Judgement judgement = Judge(
            scenario, Fault{target.process, target.row, target.ordinal, error, allocation, fired}, outcome);
        if (judgement.verdict != Verdict::Pass)
        {
            ++m_tally.verdicts[judgement.verdict];
            std::printf("FINDING %s: %s: %s%s\n", VerdictName(judgement.verdict),
                        Describe(m_scenarios, target).c_str(), judgement.detail.c_str(),
                        fired ? "" : " (the call was not reached)");
            std::fflush(stdout);
        }
    }

    int Findings() const
    {
        int findings = 0;
        for (const auto& [verdict, count] : m_tally.verdicts)
        {
            findings += count;
        }
        return findings;
    }

    void PrintTallies(int leftOut, long long seconds)
    {
        const auto verdicts = [this](Verdict verdict)
        {
            const auto found = m_tally.verdicts.find(verdict);
            return found == m_tally.verdicts.end() ? 0 : found->second;
        };
        std::printf(
            "shipped fault sweep (%s): %d runs in %lld s; %d planned calls not reached; %d runs left out "
            "for time\n",
            m_options.architecture.c_str(), m_tally.runs, seconds, m_tally.notReached, leftOut);
        std::printf(
            "shipped fault sweep (%s): %zu call sites failed in %d runs over %zu scenarios; %d crashes, %d "
            "hangs, %d false successes, %d wrong codes\n",
            m_options.architecture.c_str(), m_tally.sites.size(), m_tally.runs, m_scenariosRun,
            verdicts(Verdict::Crash), verdicts(Verdict::Hang), verdicts(Verdict::FalseSuccess),
            verdicts(Verdict::WrongCode));
        std::string never;
        for (std::uint32_t row = 0; row < kConventionCount; ++row)
        {
            if (m_hooked[row] && !m_called[row])
            {
                never += (never.empty() ? "" : ", ") + std::string(kConventions[row].name);
            }
        }
        std::printf("shipped fault sweep (%s): imports never called in any scenario: %s\n",
                    m_options.architecture.c_str(), never.empty() ? "none" : never.c_str());
        std::fflush(stdout);
    }

    Options m_options;
    InjectedRun m_run;
    ProductFolder m_product;
    std::vector<Scenario> m_scenarios;
    std::size_t m_scenariosRun = 0;
    // How a call was reached (process, service state where it matters, function, site, frames, occurrence):
    // failed once over all scenarios.
    std::set<std::tuple<bool, int, std::uint32_t, std::uint32_t, std::uint64_t, std::uint32_t>>
        m_failedBefore;
    bool m_hooked[kConventionCount] = {};
    bool m_called[kConventionCount] = {};
    Tally m_tally;
};
} // namespace
} // namespace Quelvo::ShippedSweep

int wmain(int count, wchar_t** arguments)
{
    try
    {
        Quelvo::ShippedSweep::Sweep sweep(Quelvo::ShippedSweep::ParseOptions(count, arguments));
        return sweep.Run();
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "shipped sweep: %s\n", e.what());
        return 2;
    }
}
