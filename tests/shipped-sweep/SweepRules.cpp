#include "SweepRules.h"

#include "injector/Convention.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace Quelvo::ShippedSweep
{
namespace
{
using Injection::kConventions;

constexpr DWORD kInjected = 0xFFFFFFFF;     // stands for the fault's own error in a rule
constexpr DWORD kScenariosOwn = 0xFFFFFFFE; // stands for the code of the scenario without a fault
constexpr DWORD kAbort = 3;

bool Contains(const std::vector<std::string>& lines, const char* text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [text](const std::string& line) { return line.find(text) != std::string::npos; });
}

bool ActionDone(Action action, const ProductRecord& product)
{
    switch (action)
    {
    case Action::Enable:
        return Contains(product.journal, "RealTimeProtection#") && Contains(product.journal, ".Enable()");
    case Action::FirewallEnable:
        return Contains(product.journal, "Firewall#") && Contains(product.journal, ".Enable()");
    case Action::Update:
        return Contains(product.journal, ".StartUpdate(");
    case Action::UiStarted:
        return product.uiStarted;
    case Action::Relaunch:
        return Contains(product.journal, ".Launch(");
    case Action::Disable:
        return Contains(product.journal, ".Disable()");
    case Action::ServiceStarted:
        return product.serviceState == SERVICE_RUNNING;
    }
    return false;
}

bool TrustedDisabled(const ProductRecord& product)
{
    return Contains(product.trustedJournal, ".Disable()");
}

bool Crashed(DWORD code)
{
    return code == kAbort || code >= 0x80000000;
}

// Where the tool's rules name the code of a failed call. A function that no row applying to the
// scenario names may end the run with any code but 0 (unless the action was done).
struct CodeRule
{
    std::initializer_list<const char*> functions;
    bool (*applies)(const Scenario&, const Fault&);
    std::initializer_list<DWORD> codes;
    const char* reason;
};

bool Always(const Scenario&, const Fault&)
{
    return true;
}
bool Relaunching(const Scenario& scenario, const Fault& fault)
{
    return fault.process == 0 && scenario.action == Action::Relaunch;
}
bool StartingTheUi(const Scenario& scenario, const Fault&)
{
    return scenario.action == Action::UiStarted;
}
bool ServiceMissing(const Scenario& scenario, const Fault&)
{
    return scenario.service == ServiceSetup::Missing;
}
// The check comes before recovery: it opens the manager and a service three times (the primary's
// existence, its status, the alternative's status) and queries a status at most once a service.
bool ChecksCallBeforeRecovery(const Scenario& scenario, const Fault& fault)
{
    const bool query = std::strcmp(kConventions[fault.row].name, "QueryServiceStatusEx") == 0;
    return scenario.service != ServiceSetup::Running && fault.ordinal <= (query ? 2u : 3u);
}
bool ServiceAlreadyRunning(const Scenario& scenario, const Fault&)
{
    return scenario.service == ServiceSetup::Running &&
           (scenario.action == Action::Enable || scenario.action == Action::FirewallEnable);
}

const CodeRule kCodeRules[] = {
    {{"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx", "QueryServiceStatus", "StartServiceW",
      "OpenProcess", "WaitForSingleObject"},
     Always,
     {kInjected},
     "the service check fails and recovery returns the last Win32 error"},
    {{"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx", "QueryServiceStatus"},
     ServiceAlreadyRunning,
     {ERROR_SERVICE_ALREADY_RUNNING},
     "a failed check of a running service sends it to recovery, whose StartServiceW fails with 1056"},
    {{"OpenSCManagerW", "OpenServiceW", "QueryServiceStatusEx"},
     ChecksCallBeforeRecovery,
     {kScenariosOwn},
     "a failed check sends the enable to recovery, which ends as it would have (the service started, 1060 "
     "without it, 1053 when it stops before running)"},
    {{"LoadLibraryExW", "GetProcAddress"},
     Always,
     {ERROR_GEN_FAILURE},
     "the client cannot be created: 31, whatever the cause"},
    {{"OpenProcessToken", "DuplicateTokenEx", "GetModuleFileNameW", "QueryFullProcessImageNameW",
      "WideCharToMultiByte", "MultiByteToWideChar"},
     Relaunching,
     {kInjected},
     "the relaunch returns the failed token call's, path query's or conversion's own code"},
    {{"WideCharToMultiByte", "MultiByteToWideChar", "CreateProcessW"},
     StartingTheUi,
     {ERROR_EXCEPTION_IN_SERVICE},
     "the UI launch turns a failed conversion or process creation into 1064"},
};

// A failed allocation: ERROR_NOT_ENOUGH_MEMORY, in the client library's load, the relaunch and the
// recovery too; otherwise only where the service check takes it for a service that is down.
const CodeRule kAllocationRules[] = {
    {{}, Always, {ERROR_NOT_ENOUGH_MEMORY}, "a failed allocation ends the tool with 8"},
    {{},
     ServiceMissing,
     {ERROR_SERVICE_DOES_NOT_EXIST},
     "an exception in the service check counts as unavailable; recovery then finds no service: 1060"},
    {{},
     ServiceAlreadyRunning,
     {ERROR_SERVICE_ALREADY_RUNNING},
     "an exception in the service check sends a running service to recovery, whose start fails with 1056"},
};

// Failures that end the run with abort's 3, each with why it is left so.
struct ListedAbort
{
    const char* function;
    const char* reason;
};

const ListedAbort kListedAborts[] = {
    {"FlsAlloc",
     "libc++abi's per-thread exception state cannot be made, so the first throw aborts; FlsAlloc fails "
     "only when the process's fiber-local slots are spent, which a one-thread tool never does"},
    {"FlsSetValue", "the same state cannot be stored: libc++abi aborts on the first throw"},
};

bool ListedAsAbort(const Fault& fault)
{
    return std::any_of(std::begin(kListedAborts), std::end(kListedAborts),
                       [&fault](const ListedAbort& listed)
                       { return std::strcmp(listed.function, kConventions[fault.row].name) == 0; });
}

bool Named(const CodeRule& rule, const char* function)
{
    return std::any_of(rule.functions.begin(), rule.functions.end(),
                       [function](const char* name) { return std::strcmp(name, function) == 0; });
}

// Whether `code` is what the rules allow after the fault; true when they name no code for it.
bool CodeAllowed(const Scenario& scenario, const Fault& fault, DWORD code)
{
    const auto allows = [&](const CodeRule& rule)
    {
        if (!rule.applies(scenario, fault))
        {
            return false;
        }
        return std::any_of(rule.codes.begin(), rule.codes.end(),
                           [&](DWORD allowed)
                           {
                               return allowed == code || (allowed == kInjected && code == fault.error) ||
                                      (allowed == kScenariosOwn && code == scenario.expected);
                           });
    };
    if (fault.allocation)
    {
        // The runtime's emergency pool for exceptions absorbs a failed allocation of an exception object:
        // the run ends as it would have.
        return code == scenario.expected ||
               std::any_of(std::begin(kAllocationRules), std::end(kAllocationRules), allows);
    }
    const char* function = kConventions[fault.row].name;
    bool named = false;
    for (const CodeRule& rule : kCodeRules)
    {
        if (Named(rule, function) && rule.applies(scenario, fault))
        {
            named = true;
            if (allows(rule))
            {
                return true;
            }
        }
    }
    return !named;
}

// One process's code against its action: crash, false success, a failure though the action was done,
// or a code other than the rules name.
Judgement JudgeProcess(const char* who, DWORD code, bool done, DWORD expected, const Scenario& scenario,
                       const std::optional<Fault>& fault, bool faultHere)
{
    const std::string prefix = std::string(who) + " exit " + std::to_string(code);
    if (code == kAbort && fault && fault->fired && faultHere && !fault->allocation && ListedAsAbort(*fault))
    {
        return {};
    }
    if (Crashed(code))
    {
        return {Verdict::Crash, prefix + (code == kAbort ? " (abort)" : " (NTSTATUS)")};
    }
    if (code == 0 && !done)
    {
        return {Verdict::FalseSuccess, prefix + " without the action"};
    }
    if (code != 0 && done)
    {
        return {Verdict::WrongCode, prefix + " though the product carried out the action"};
    }
    if (!fault || !fault->fired || !faultHere)
    {
        if (code != expected)
        {
            return {Verdict::WrongCode, prefix + ", not the scenario's own " + std::to_string(expected)};
        }
        return {};
    }
    if (code != 0 && !CodeAllowed(scenario, *fault, code))
    {
        return {Verdict::WrongCode, prefix + " where the rules name another code"};
    }
    return {};
}
} // namespace

bool DependsOnTheService(std::uint32_t row)
{
    return Named(kCodeRules[0], kConventions[row].name);
}

std::optional<DWORD> TrustedInstanceCode(const ProductRecord& product)
{
    constexpr char kPrefix[] = "trusted instance exit ";
    for (const auto& line : product.journal)
    {
        if (line.rfind(kPrefix, 0) == 0)
        {
            return static_cast<DWORD>(std::stoul(line.substr(sizeof(kPrefix) - 1)));
        }
    }
    return std::nullopt;
}

Judgement Judge(const Scenario& scenario, const std::optional<Fault>& fault, const RunOutcome& outcome)
{
    if (outcome.hung)
    {
        return {Verdict::Hang, "no exit within the time limit"};
    }
    const Judgement tool = JudgeProcess("tool", outcome.code, ActionDone(scenario.action, outcome.product),
                                        scenario.expected, scenario, fault, !fault || fault->process == 0);
    if (tool.verdict != Verdict::Pass || scenario.trustedExpected == kNoTrustedInstance)
    {
        return tool;
    }
    const auto trusted = TrustedInstanceCode(outcome.product);
    if (!trusted)
    {
        // The launcher was not reached (the tool failed before it): the tool's verdict stands.
        return tool;
    }
    return JudgeProcess("trusted instance", *trusted, TrustedDisabled(outcome.product),
                        scenario.trustedExpected, scenario, fault, fault && fault->process == 1);
}

const char* VerdictName(Verdict verdict)
{
    switch (verdict)
    {
    case Verdict::Pass:
        return "pass";
    case Verdict::Crash:
        return "CRASH";
    case Verdict::Hang:
        return "HANG";
    case Verdict::FalseSuccess:
        return "FALSE SUCCESS";
    case Verdict::WrongCode:
        return "WRONG CODE";
    }
    return "?";
}
} // namespace Quelvo::ShippedSweep
