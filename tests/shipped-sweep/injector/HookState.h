// What the hook library knows about the process it lives in: the shared ledger, which swept process
// this is, where the main module lies, and for each row the function that its thunk stands for.
#pragma once

#include "Convention.h"
#include "Ledger.h"

#include <windows.h>

#include <cstdint>

namespace Quelvo::Injection
{
struct HookState
{
    Ledger* ledger = nullptr;
    std::uint32_t process = 0;
    std::uintptr_t toolBase = 0;
    std::uintptr_t toolEnd = 0;
    void* real[kConventionCount] = {};
    // A delayed import's slot still leads to the delay-load helper: the row's first resolution by the
    // helper's GetProcAddress must not count the helper's jump to the resolved function as a call.
    bool delayPending[kConventionCount] = {};
    std::uint32_t skipRow = kConventionCount;
    DWORD skipThread = 0;
};

HookState& State();

// The thunk that stands for a row.
void* ThunkOf(std::uint32_t row);
} // namespace Quelvo::Injection
