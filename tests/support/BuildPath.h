// Paths of the build as the Windows test programs take them.
#pragma once

#include "base/TextConversion.h"

#include <string>

namespace Quelvo::Testing
{
// A path of the build as Windows takes it: a Unix path (a cross build) on Wine's Z: drive, a Windows
// path as it is.
inline std::wstring FromBuild(std::wstring buildPath)
{
    std::wstring path = (buildPath.starts_with(L'/') ? L"Z:" : L"") + std::move(buildPath);
    for (auto& c : path)
    {
        c = c == L'/' ? L'\\' : c;
    }
    return path;
}

inline std::wstring FromBuild(const char* buildPath)
{
    return FromBuild(Utf16FromUtf8(buildPath));
}
} // namespace Quelvo::Testing
