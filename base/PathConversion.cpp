#include "base/PathConversion.h"

#include "base/Format.h"
#include "base/Win32Error.h"

namespace Quelvo
{
std::wstring ConvertPath(const std::wstring& path, const PathConversionFunction& convert,
                         const std::string& kindName)
{
    const DWORD needed = convert(path.c_str(), nullptr, 0);
    if (needed == 0)
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error,
                        Format("Can't convert path to {} path. Failed to retrieve its length.", kindName));
    }
    std::wstring converted(needed, L'\0');
    const DWORD length = convert(path.c_str(), converted.data(), needed);
    if (length == 0)
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("Can't convert path to {} path", kindName));
    }
    if (length > needed)
    {
        // The function asks for a bigger buffer (the path changed between the two calls): what it
        // reports was not written, and the buffer must not be read past its end.
        ThrowWin32Error(ERROR_INSUFFICIENT_BUFFER, Format("Can't convert path to {} path", kindName));
    }
    converted.resize(length);
    return converted;
}

std::wstring GetShortPath(const std::wstring& path)
{
    return ConvertPath(path, &GetShortPathNameW, "short");
}
} // namespace Quelvo
