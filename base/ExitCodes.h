// The exit codes the tool chooses itself, each a Win32 error code. Every other code it ends with is
// passed through from the product or from Windows.
#pragma once

#include <cstdint>

namespace Quelvo
{
// No action applies to the line (ERROR_INVALID_PARAMETER).
inline constexpr std::uint32_t kNothingToDo = 87;
// No client: the client library did not load or lacks its export, or the factory yielded no client
// (ERROR_GEN_FAILURE).
inline constexpr std::uint32_t kNoClient = 31;
// The library yielded no SDK object of the kind an action needs.
inline constexpr std::uint32_t kSdkObjectUnavailable = 1225;
// An action caught an exception (ERROR_EXCEPTION_IN_SERVICE).
inline constexpr std::uint32_t kActionFailed = 1064;
// An action ran out of memory (ERROR_NOT_ENOUGH_MEMORY).
inline constexpr std::uint32_t kOutOfMemory = 8;
// The recovery's start failed and left no last error behind (ERROR_SERVICE_REQUEST_TIMEOUT).
inline constexpr std::uint32_t kServiceDidNotStart = 1053;
} // namespace Quelvo
