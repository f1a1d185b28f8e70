// Win32 failures as exceptions: std::system_error in the system category with a fixed message.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

namespace Quelvo
{
// The error code of a Win32 last-error value (or registry status), in the system category.
std::error_code Win32ErrorCode(DWORD code);

// Raises std::system_error(code, std::system_category(), message).
[[noreturn]] void ThrowWin32Error(DWORD code, const std::string& message);

// Reads GetLastError() first, then raises it with the message.
[[noreturn]] void ThrowLastError(const std::string& message);
} // namespace Quelvo
