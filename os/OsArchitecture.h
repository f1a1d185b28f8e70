#pragma once

namespace Quelvo
{
// X64 is 0 and Arm64 is 2 on purpose: a 64-bit system is one whose value with bit 1 cleared is 0.
enum class OsArchitecture
{
    X64 = 0,
    X86 = 1,
    Arm64 = 2,
};
} // namespace Quelvo
