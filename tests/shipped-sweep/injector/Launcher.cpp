// injector.exe: runs one program with the hook library inside it and prints what happened.
//   injector <hook library> count <time limit ms> <program> [<argument>...]
//   injector <hook library> fail <function> <process> <site rva, hex, or "any"> <ordinal> <error>
//            [once|from-then-on] <time limit ms> <program> [<argument>...]
// Prints the program's full exit code (or that it hung), each failed call, and in counting mode every
// call site: process, function, return address relative to the main module, calls.
#include "Convention.h"
#include "InjectedRun.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

namespace
{
using namespace Quelvo::Injection;

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; *text != L'\0'; ++text)
    {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

int Launch(int count, wchar_t** arguments)
{
    if (count < 5)
    {
        throw std::invalid_argument(
            "usage: injector <hook library> count|fail ... <program> [<argument>...]");
    }
    FaultPlan plan{};
    int next = 2;
    if (std::wcscmp(arguments[next++], L"fail") == 0)
    {
        if (count < next + 7)
        {
            throw std::invalid_argument("fail needs a function, process, site, ordinal, error and mode");
        }
        plan.mode = Mode::Fail;
        plan.row = ConventionRow(Narrow(arguments[next++]).c_str());
        if (plan.row == kConventionCount)
        {
            throw std::invalid_argument("no such function in the conventions table");
        }
        plan.process = static_cast<std::uint32_t>(std::wcstoul(arguments[next++], nullptr, 10));
        const wchar_t* site = arguments[next++];
        plan.rva = std::wcscmp(site, L"any") == 0
                       ? kAnySite
                       : static_cast<std::uint32_t>(std::wcstoul(site, nullptr, 16));
        plan.ordinal = static_cast<std::uint32_t>(std::wcstoul(arguments[next++], nullptr, 10));
        plan.error = static_cast<std::uint32_t>(std::wcstoul(arguments[next++], nullptr, 10));
        plan.fromThenOn = std::wcscmp(arguments[next++], L"from-then-on") == 0 ? 1 : 0;
    }
    const DWORD timeLimit = static_cast<DWORD>(std::wcstoul(arguments[next++], nullptr, 10));
    const std::wstring program = arguments[next++];
    std::wstring line;
    for (; next < count; ++next)
    {
        line += (line.empty() ? L"" : L" ") + std::wstring(arguments[next]);
    }
    std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    InjectedRun run(arguments[1]);
    const RunResult result = run.Run(program, line, folder, plan, timeLimit);
    const Ledger& ledger = run.Record();
    if (result.hung)
    {
        std::printf("hung\n");
    }
    else
    {
        std::printf("exit %lu (0x%08lX)\n", result.exitCode, result.exitCode);
    }
    std::printf("processes %ld, followed %ld, unhooked imports %ld, failed calls %ld", ledger.processes,
                ledger.followed, ledger.unknownImports, ledger.failed);
    std::printf(ledger.failed != 0 ? " (first at 0x%X)\n" : "\n", ledger.failedRva);
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint32_t> sites;
    const LONG events = ledger.eventCount < static_cast<LONG>(kMaxEvents) ? ledger.eventCount : kMaxEvents;
    for (LONG i = 0; i < events; ++i)
    {
        const CallEvent& event = ledger.events[i];
        auto& calls = sites[{event.process, event.row, event.rva}];
        calls = calls > event.ordinal ? calls : event.ordinal;
    }
    for (const auto& [site, calls] : sites)
    {
        std::printf("%u %s 0x%X %u\n", std::get<0>(site), kConventions[std::get<1>(site)].name,
                    std::get<2>(site), calls);
    }
    return 0;
}
} // namespace

int wmain(int count, wchar_t** arguments)
{
    try
    {
        return Launch(count, arguments);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "injector: %s\n", e.what());
        return 2;
    }
}
