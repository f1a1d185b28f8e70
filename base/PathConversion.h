// Conversion of a path through a Win32 function that first reports the needed length and then fills a
// buffer (GetShortPathNameW and its kind).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace Quelvo
{
// (source path, output buffer or null, buffer size in characters) -> needed size with a null buffer,
// length written after a fill, 0 on failure with the reason in the last error.
using PathConversionFunction = std::function<DWORD(LPCWSTR, LPWSTR, DWORD)>;

// Runs the two-call protocol; raises std::system_error naming `kindName` ("short") on failure.
std::wstring ConvertPath(const std::wstring& path, const PathConversionFunction& convert,
                         const std::string& kindName);

// The short (8.3) form of an existing path.
std::wstring GetShortPath(const std::wstring& path);
} // namespace Quelvo
