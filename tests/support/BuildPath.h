// A path of the build, as CMake writes it into a test program, in the form Windows takes.
#pragma once

#include "base/TextConversion.h"

#include <algorithm>
#include <string>

namespace Quelvo::testing
{
// A Unix path (a cross build, run under Wine) lies on Wine's Z: drive; a Windows path ("D:/a/...")
// needs only its separators turned.
inline std::wstring FromBuild(const char* buildPath)
{
    std::wstring path = Utf16FromUtf8(buildPath);
    if (path.starts_with(L'/'))
    {
        path.insert(0, L"Z:");
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}
} // namespace Quelvo::testing
