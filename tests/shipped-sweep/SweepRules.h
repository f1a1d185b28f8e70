// The rules every run of the sweep must meet, checked here rather than read by a person:
//   no crash (an NTSTATUS exit code, abort's 3) and no hang, in the tool and in the instance it started;
//   never 0 unless the product's record shows the action done, and never a failure code when it does;
//   where the tool's rules name the code of a failed call (its last error, or a code of their own),
//   that code.
#pragma once

#include "ProductFolder.h"
#include "Scenario.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace Quelvo::ShippedSweep
{
enum class Verdict
{
    Pass,
    Crash,
    Hang,
    FalseSuccess,
    WrongCode,
};

// The injected fault of a run.
struct Fault
{
    std::uint32_t process; // 0 the tool, 1 the instance it started
    std::uint32_t row;
    std::uint32_t ordinal; // the failed call's ordinal at its site
    DWORD error;           // the last error (or returned code) of the failed call
    bool allocation;       // then errno is set instead, and the tool's code is ERROR_NOT_ENOUGH_MEMORY
    bool fired;            // the planned call was reached
};

struct RunOutcome
{
    DWORD code = 0;
    bool hung = false;
    ProductRecord product;
};

struct Judgement
{
    Verdict verdict = Verdict::Pass;
    std::string detail;
};

// `fault` is empty for the counting run, which must give the scenario's own codes.
Judgement Judge(const Scenario& scenario, const std::optional<Fault>& fault, const RunOutcome& outcome);

// The started instance's exit code, from the demo launcher's journal line.
std::optional<DWORD> TrustedInstanceCode(const ProductRecord& product);

const char* VerdictName(Verdict verdict);

// The outcome of a failed call of this function depends on the state of the product's service, so the
// sweep fails it again in a scenario whose service starts in another state.
bool DependsOnTheService(std::uint32_t row);
} // namespace Quelvo::ShippedSweep
