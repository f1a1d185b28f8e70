// Win32 failures as exceptions: std::system_error in the system category with a fixed message.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

namespace Quelvo
{
// A failed Win32 call: a std::system_error in the system category whose what() is the message and the
// system's own text for the code, in every build (the C++ library's text may be the C runtime's).
class Win32Error : public std::system_error
{
public:
    Win32Error(DWORD code, const std::string& message);

    const char* what() const noexcept override;

private:
    std::string m_what;
};

// The error code of a Win32 last-error value (or registry status), in the system category.
std::error_code Win32ErrorCode(DWORD code);

// Raises Win32Error(code, message).
[[noreturn]] void ThrowWin32Error(DWORD code, const std::string& message);

// Reads GetLastError() before anything else, then raises it with the message. The message is fixed
// text: building one may itself change the last error, so a built message goes to ThrowWin32Error with
// a code read beforehand.
[[noreturn]] void ThrowLastError(const char* message);
} // namespace Quelvo
