// How the demo service behaves on a start, from its command line and its start arguments:
//   --start-delay-ms N   stay start-pending for N ms before running (or failing)
//   --fail-with CODE     after the delay, report stopped with CODE as Win32 exit code instead of running
//   --stop-delay-ms N    stay stop-pending for N ms after a stop control
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Demo
{
struct ServiceOptions
{
    DWORD startDelayMs = 0;
    std::optional<DWORD> failWith;
    DWORD stopDelayMs = 0;
};

// Later arguments override earlier ones; unknown arguments and malformed numbers are ignored.
ServiceOptions ParseServiceOptions(const std::vector<std::wstring>& arguments);
} // namespace Demo
