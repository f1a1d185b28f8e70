// Reading a string value of an open registry key.
#pragma once

#include <windows.h>

#include <string>

namespace Quelvo
{
// The REG_SZ value `valueName` (UTF-8) of `key`, as UTF-8. Starts with room for 63 characters and
// asks once more with the size the first call reports; raises std::system_error with the status.
std::string ReadRegistryString(HKEY key, const std::string& valueName);
} // namespace Quelvo
