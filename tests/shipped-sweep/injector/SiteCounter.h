// Calls counted per function and call site, in fixed memory: the hook library allocates nothing, since
// the allocator is among the functions it fails.
#pragma once

#include <cstdint>

namespace Quelvo::Injection
{
class SiteCounter
{
public:
    // The ordinal (from 1) of this call of `row` at `rva`.
    std::uint32_t Next(std::uint32_t row, std::uint32_t rva)
    {
        const std::uint64_t key = (std::uint64_t{row} << 32 | rva) + 1;
        std::uint64_t index = (key * 0x9E3779B97F4A7C15ull) >> (64 - kBits);
        for (std::uint32_t probe = 0; probe < kSize; ++probe, index = (index + 1) & (kSize - 1))
        {
            Slot& slot = m_slots[index];
            if (slot.key == key || slot.key == 0)
            {
                slot.key = key;
                return ++slot.count;
            }
        }
        return 0; // full: no site of this ordinal is ever planned
    }

private:
    static constexpr std::uint32_t kBits = 13;
    static constexpr std::uint32_t kSize = 1u << kBits;
    struct Slot
    {
        std::uint64_t key;
        std::uint32_t count;
    };
    Slot m_slots[kSize] = {};
};
} // namespace Quelvo::Injection
