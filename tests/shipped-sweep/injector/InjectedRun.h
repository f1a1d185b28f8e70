// One run of a program with the hook library inside it, under a fault plan: the ledger shared with the
// hook libraries of the run's processes, a job that holds them all, and the program's full exit code,
// or the fact that it outlived its time limit (then the whole job is ended).
#pragma once

#include "Ledger.h"

#include <windows.h>

#include <string>

namespace Quelvo::Injection
{
struct RunResult
{
    DWORD exitCode = 0;
    bool hung = false;
};

class InjectedRun
{
public:
    // The ledger's mapping, named for this process; its name goes into the environment that the
    // program inherits.
    explicit InjectedRun(std::wstring hookLibrary);
    ~InjectedRun();
    InjectedRun(const InjectedRun&) = delete;
    InjectedRun& operator=(const InjectedRun&) = delete;

    // Starts `program` with `arguments` in `folder` under `plan`, waits up to `timeLimitMs`.
    RunResult Run(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
                  const FaultPlan& plan, DWORD timeLimitMs);

    // What the processes of the last run recorded.
    const Ledger& Record() const { return *m_ledger; }

private:
    std::wstring m_hookLibrary;
    HANDLE m_mapping = nullptr;
    Ledger* m_ledger = nullptr;
};
} // namespace Quelvo::Injection
