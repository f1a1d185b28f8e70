// Control Flow Guard enforced as Windows enforces it, for test builds. Wine does not enforce CFG, so a
// guard function table that Windows would reject passes every test run under it. Linked in place of
// the pass-through defaults (ControlFlowGuard.S), the check and dispatch of GuardValidation.S judge the
// target of every instrumented indirect call by the tables of the image it lies in, and end the
// process with __fastfail where Windows would:
// - a target in an image marked GUARD_CF must be the start of a function in that image's guard table;
// - a target in an image without CFG is accepted;
// - any other target (in no image at all) is refused.
// Built without CFG checks: its own calls must not come back here.
#include "platform/windows/FailFast.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

// What MinGW-w64's headers lack of the Windows SDK's.
#ifndef FAST_FAIL_GUARD_ICALL_CHECK_FAILURE
#define FAST_FAIL_GUARD_ICALL_CHECK_FAILURE 10
#endif
#ifndef IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT
#define IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT 0x00000400
#define IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK 0xF0000000
#define IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_SHIFT 28
#define IMAGE_GUARD_FLAG_FID_SUPPRESSED 0x01
#endif

namespace
{
// The guard fields of IMAGE_LOAD_CONFIG_DIRECTORY64, which MinGW-w64's headers stop short of.
constexpr std::size_t kGuardCFFunctionTableOffset = 0x80;
constexpr std::size_t kGuardCFFunctionCountOffset = 0x88;
constexpr std::size_t kGuardFlagsOffset = 0x90;

template <class Value>
Value ReadAt(const BYTE* data, std::size_t offset)
{
    std::array<BYTE, sizeof(Value)> bytes;
    std::copy_n(data + offset, bytes.size(), bytes.begin());
    return std::bit_cast<Value>(bytes);
}

// The guard function table: RVAs in ascending order, each followed by as many bytes of flags as
// GuardFlags gives.
class GuardFunctionTable
{
public:
    GuardFunctionTable(const BYTE* entries, ULONGLONG count, std::size_t stride)
        : m_entries(entries), m_count(count), m_stride(stride)
    {
    }

    bool IsValidTarget(DWORD rva) const
    {
        ULONGLONG low = 0;
        ULONGLONG high = m_count;
        while (low < high)
        {
            const ULONGLONG middle = low + (high - low) / 2;
            if (Rva(middle) < rva)
            {
                low = middle + 1;
            }
            else
            {
                high = middle;
            }
        }
        return low < m_count && Rva(low) == rva && !(Flags(low) & IMAGE_GUARD_FLAG_FID_SUPPRESSED);
    }

private:
    DWORD Rva(ULONGLONG index) const { return ReadAt<DWORD>(m_entries, index * m_stride); }
    BYTE Flags(ULONGLONG index) const
    {
        return m_stride > sizeof(DWORD) ? m_entries[index * m_stride + sizeof(DWORD)] : 0;
    }

    const BYTE* m_entries;
    ULONGLONG m_count;
    std::size_t m_stride;
};

bool IsValidCallTarget(std::uintptr_t target)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(target), &module))
    {
        return false;
    }
    const auto* image = reinterpret_cast<const BYTE*>(module);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    if (!(headers->OptionalHeader.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_GUARD_CF))
    {
        return true;
    }
    // An image that claims CFG must have its table: without one, nothing in it is a valid target.
    const IMAGE_DATA_DIRECTORY& directory =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    const BYTE* config = image + directory.VirtualAddress;
    if (directory.VirtualAddress == 0 || ReadAt<DWORD>(config, 0) < kGuardFlagsOffset + sizeof(DWORD))
    {
        return false;
    }
    const auto flags = ReadAt<DWORD>(config, kGuardFlagsOffset);
    if (!(flags & IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT))
    {
        return false;
    }
    const auto imageBase = reinterpret_cast<std::uintptr_t>(image);
    const auto table = reinterpret_cast<const BYTE*>(ReadAt<ULONGLONG>(config, kGuardCFFunctionTableOffset));
    const std::size_t stride = sizeof(DWORD) + ((flags & IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_MASK) >>
                                                IMAGE_GUARD_CF_FUNCTION_TABLE_SIZE_SHIFT);
    return GuardFunctionTable(table, ReadAt<ULONGLONG>(config, kGuardCFFunctionCountOffset), stride)
        .IsValidTarget(static_cast<DWORD>(target - imageBase));
}
} // namespace

// Called by the check and the dispatch of GuardValidation.S with the call's target. The caller's last
// error is kept: the call may come between a failing Windows call and its GetLastError.
extern "C" void quelvo_guard_validate_call_target(std::uintptr_t target)
{
    const DWORD lastError = GetLastError();
    if (!IsValidCallTarget(target))
    {
        Quelvo::FailFast(FAST_FAIL_GUARD_ICALL_CHECK_FAILURE);
    }
    SetLastError(lastError);
}
