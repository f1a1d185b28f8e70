// The memory that the hook library in every swept process shares with the program that runs the sweep:
// the fault to inject and, back from each process, its calls and the faults it injected. It lives in a
// named file mapping whose name the environment variable below carries to the tool and, through the
// inherited environment, to the instance that the tool has started.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Quelvo::Injection
{
inline constexpr wchar_t kLedgerVariable[] = L"QUELVO_INJECTION_LEDGER";
inline constexpr std::uint32_t kAnySite = 0xFFFFFFFF;     // the plan names the Nth call of the function
inline constexpr std::uint32_t kOutsideTool = 0xFFFFFFFE; // a return address outside the main module
inline constexpr std::uint32_t kMaxEvents = 1u << 16;
inline constexpr std::uint32_t kMaxRows = 512;

enum class Mode : std::uint32_t
{
    Count,
    Fail,
};

// Which call fails: the `ordinal`th call (from 1) of function `row` at call site `rva` (or at any site)
// in the `process`th swept process (0 the tool, 1 the instance it started, ...).
struct FaultPlan
{
    Mode mode;
    std::uint32_t process;
    std::uint32_t row;
    std::uint32_t rva;
    std::uint32_t ordinal;
    std::uint32_t fromThenOn; // allocations: every later allocation of that process fails too
    std::uint32_t error;      // the last error, errno or returned code of the failed call
};

// One call, in the counting runs. `ordinal` counts the calls of the same function at the same site.
struct CallEvent
{
    std::uint32_t process;
    std::uint32_t row;
    std::uint32_t rva;
    std::uint32_t ordinal;
    std::uint64_t stack; // hash of the return addresses of the call's frames in the main module
};

struct Ledger
{
    FaultPlan plan;
    volatile LONG processes; // hook libraries attached so far
    volatile LONG failed;    // calls failed so far
    std::uint32_t failedRva; // the site of the first failed call
    volatile LONG followed;  // processes started by the product and injected
    volatile LONG followFailures;
    volatile LONG unknownImports; // imports without a row, which stay unhooked
    volatile LONG eventCount;
    std::uint8_t hookedRows[kMaxRows]; // rows whose import slot (or run-time resolution) the tool has
    CallEvent events[kMaxEvents];
};
} // namespace Quelvo::Injection
