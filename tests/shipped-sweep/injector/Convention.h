// How each imported function of the tool fails: the value it returns and where it leaves its error.
// The rows themselves live in Conventions.inc, one table for every function the tool imports or
// resolves at run time.
#pragma once

#include <cstdint>

namespace Quelvo::Injection
{
// The value a failed call returns.
enum class Failure : std::uint8_t
{
    Never,     // cannot fail (or has no failure value): counted, never failed
    Zero,      // FALSE, NULL, a zero count
    MinusOne,  // INVALID_HANDLE_VALUE, -1, EOF, WAIT_FAILED, 0xFFFFFFFF
    ErrorCode, // an LSTATUS or error code returned as the value
    HResult,   // HRESULT_FROM_WIN32 of the error
};

// Where a failed call leaves its error.
enum class Report : std::uint8_t
{
    None,
    LastError,
    Errno,
    Returned,
};

enum class Kind : std::uint8_t
{
    Call,
    Allocation, // fails once, or once and every allocation from then on
    Data,       // an imported variable, not a function: never hooked
};

struct Convention
{
    const char* library;
    const char* name;
    Failure failure;
    Report report;
    Kind kind;
};

#define QUELVO_IMPORT(library, name, failure, report)                                                        \
    {#library, #name, Failure::failure, Report::report, Kind::Call},
#define QUELVO_ALLOCATION(library, name) {#library, #name, Failure::Zero, Report::Errno, Kind::Allocation},
#define QUELVO_DATA(library, name) {#library, #name, Failure::Never, Report::None, Kind::Data},
inline constexpr Convention kConventions[] = {
#include "Conventions.inc"
};
#undef QUELVO_IMPORT
#undef QUELVO_ALLOCATION
#undef QUELVO_DATA

inline constexpr std::uint32_t kConventionCount = sizeof(kConventions) / sizeof(kConventions[0]);
static_assert(kConventionCount <= 512, "the ledger marks at most 512 rows");

// The row of a function by name; kConventionCount when it has none.
std::uint32_t ConventionRow(const char* name);
} // namespace Quelvo::Injection
