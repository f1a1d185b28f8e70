#pragma once

#include <cstdint>

namespace Quelvo
{
// The version of an executable file; all 0 until filled.
struct FileVersion
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t revision = 0;
};
} // namespace Quelvo
