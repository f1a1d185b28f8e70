// Hands a line that needs a trusted caller to the product's trusted process launcher, which starts a
// second instance of this executable with the same line plus "/trusted".
#pragma once

#include <cstdint>
#include <string>

namespace Quelvo
{
// `commandLine` is the lower-cased argument part of the own command line. Returns the launcher's
// result, or the Win32 code of what failed before; raises nothing.
std::uint32_t RelaunchTrusted(const std::wstring& commandLine);
} // namespace Quelvo
