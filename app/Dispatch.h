// Choice of the one action a command line asks for.
#pragma once

#include "base/ExitCodes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Quelvo
{
// Runs the action of the dispatch table that the lower-cased line selects and returns its code; nothing
// when no action applies. An action may itself end with ERROR_INVALID_PARAMETER; that is its failure and
// must not read as "nothing to do".
std::optional<std::uint32_t> RunDispatchedAction(const std::wstring& commandLine);

// RunDispatchedAction with kNothingToDo for a line to which no action applies.
std::uint32_t DispatchCommand(const std::wstring& commandLine);

// The whole run of the tool on the argument part of its command line; returns the exit code.
std::uint32_t RunTool(const wchar_t* commandLine);
} // namespace Quelvo
