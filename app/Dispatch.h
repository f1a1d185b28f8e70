// Choice of the one action a command line asks for.
#pragma once

#include <cstdint>
#include <string>

namespace Quelvo
{
// No action applies to the line (ERROR_INVALID_PARAMETER).
inline constexpr std::uint32_t kNothingToDo = 87;

// Runs the action of the dispatch table that the lower-cased line selects; kNothingToDo when none does.
std::uint32_t DispatchCommand(const std::wstring& commandLine);

// The whole run of the tool on the argument part of its command line; returns the exit code.
std::uint32_t RunTool(const wchar_t* commandLine);
} // namespace Quelvo
