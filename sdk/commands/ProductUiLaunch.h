// Opening the product's user interface, whose path the product's configuration supplies.
#pragma once

#include <cstdint>
#include <string_view>

namespace Quelvo
{
// Creation flags of the UI process: CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_NEW_PROCESS_GROUP.
inline constexpr std::uint32_t kProductUiCreationFlags = 0x230;

// Starts the product UI with `arguments` (empty, or "/renew") and does not wait for it. 0 when it was
// started or the configuration names no UI; otherwise a Win32 code. The text is copied inside the
// action, where a failure to allocate it is the action's own.
std::uint32_t LaunchProductUi(std::wstring_view arguments);
} // namespace Quelvo
