#include "base/Win32Error.h"

#include "base/SystemErrorText.h"

namespace Quelvo
{
Win32Error::Win32Error(DWORD code, const std::string& message)
    : std::system_error(Win32ErrorCode(code), message),
      m_what(message.empty() ? SystemErrorText(code) : message + ": " + SystemErrorText(code))
{
}

const char* Win32Error::what() const noexcept
{
    return m_what.c_str();
}

std::error_code Win32ErrorCode(DWORD code)
{
    return {static_cast<int>(code), std::system_category()};
}

void ThrowWin32Error(DWORD code, const std::string& message)
{
    throw Win32Error(code, message);
}

void ThrowLastError(const char* message)
{
    const DWORD code = GetLastError();
    ThrowWin32Error(code, message);
}
} // namespace Quelvo
