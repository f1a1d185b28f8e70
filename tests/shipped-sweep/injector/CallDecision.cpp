// What every thunk asks before it forwards a call: count it, and fail it when it is the planned one.
#include "HookState.h"
#include "SiteCounter.h"
#include "StackHash.h"

#include <cerrno>
#include <cstdint>

namespace Quelvo::Injection
{
namespace
{
// The thunks run on whatever thread the tool calls from; the counters are shared.
class SpinLock
{
public:
    SpinLock()
    {
        while (InterlockedCompareExchange(&s_lock, 1, 0) != 0)
        {
            YieldProcessor();
        }
    }
    ~SpinLock() { InterlockedExchange(&s_lock, 0); }
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

private:
    static inline volatile LONG s_lock = 0;
};

SiteCounter g_sites;
std::uint32_t g_functionCalls[kConventionCount] = {};
bool g_allocationsFailFromNowOn = false;

std::uintptr_t FailureValue(const Convention& convention, DWORD error)
{
    switch (convention.failure)
    {
    case Failure::Zero:
        return 0;
    case Failure::MinusOne:
        return static_cast<std::uintptr_t>(-1);
    case Failure::ErrorCode:
        return error;
    case Failure::HResult:
        return static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error));
    case Failure::Never:
        break;
    }
    return 0;
}

bool IsPlannedCall(const FaultPlan& plan, std::uint32_t process, std::uint32_t row, std::uint32_t rva,
                   std::uint32_t siteOrdinal, std::uint32_t functionOrdinal)
{
    if (plan.mode != Mode::Fail || plan.process != process || plan.row != row)
    {
        return false;
    }
    return plan.rva == kAnySite ? functionOrdinal == plan.ordinal
                                : plan.rva == rva && siteOrdinal == plan.ordinal;
}
} // namespace

extern "C" int QuelvoDecideCall(std::uint32_t row, std::uintptr_t returnAddress, std::uintptr_t callerStack,
                                std::uintptr_t callerFrame, std::uintptr_t* output)
{
    HookState& state = State();
    const DWORD lastError = GetLastError();
    *output = reinterpret_cast<std::uintptr_t>(state.real[row]);
    if (state.skipRow == row && state.skipThread == GetCurrentThreadId())
    {
        state.skipRow = kConventionCount;
        return 0;
    }
    Ledger& ledger = *state.ledger;
    const Convention& convention = kConventions[row];
    const std::uint32_t rva = returnAddress >= state.toolBase && returnAddress < state.toolEnd
                                  ? static_cast<std::uint32_t>(returnAddress - state.toolBase)
                                  : kOutsideTool;
    bool fail = false;
    {
        const SpinLock lock;
        const std::uint32_t siteOrdinal = g_sites.Next(row, rva);
        const std::uint32_t functionOrdinal = ++g_functionCalls[row];
        if (ledger.plan.mode == Mode::Count)
        {
            const LONG index = InterlockedIncrement(&ledger.eventCount) - 1;
            if (index < static_cast<LONG>(kMaxEvents))
            {
                ledger.events[index] = {
                    state.process, row, rva, siteOrdinal,
                    StackHash(returnAddress, callerStack, callerFrame, state.toolBase, state.toolEnd)};
            }
        }
        const bool allocation = convention.kind == Kind::Allocation;
        fail = convention.failure != Failure::Never &&
               (IsPlannedCall(ledger.plan, state.process, row, rva, siteOrdinal, functionOrdinal) ||
                (allocation && g_allocationsFailFromNowOn));
        if (fail && allocation && ledger.plan.fromThenOn != 0)
        {
            g_allocationsFailFromNowOn = true;
        }
        if (fail && InterlockedIncrement(&ledger.failed) == 1)
        {
            ledger.failedRva = rva;
        }
    }
    if (!fail)
    {
        SetLastError(lastError);
        return 0;
    }
    const DWORD error = ledger.plan.error;
    *output = FailureValue(convention, error);
    SetLastError(convention.report == Report::LastError ? error : lastError);
    if (convention.report == Report::Errno)
    {
        errno = static_cast<int>(error);
    }
    return 1;
}
} // namespace Quelvo::Injection
