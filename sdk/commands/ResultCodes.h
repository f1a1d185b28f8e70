// Codes with which the actions report their own failures.
#pragma once

#include <cstdint>

namespace Quelvo
{
// The library yielded no SDK object of the kind an action needs.
inline constexpr std::uint32_t kSdkObjectUnavailable = 1225;
// An action caught an exception (ERROR_EXCEPTION_IN_SERVICE).
inline constexpr std::uint32_t kActionFailed = 1064;
} // namespace Quelvo
