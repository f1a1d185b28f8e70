#include "base/Win32Error.h"

namespace Quelvo
{
std::error_code Win32ErrorCode(DWORD code)
{
    return {static_cast<int>(code), std::system_category()};
}

void ThrowWin32Error(DWORD code, const std::string& message)
{
    throw std::system_error(Win32ErrorCode(code), message);
}

void ThrowLastError(const char* message)
{
    const DWORD code = GetLastError();
    ThrowWin32Error(code, message);
}
} // namespace Quelvo
