// What every fuzz target shares: a fresh simulated machine for each input, a check that the input left
// no handle open and closed none twice, and a failed property that stops the run with a message.
#pragma once

#include <winsim/Control.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace Quelvo::Fuzz
{
// Reports a broken property; libFuzzer saves the input that led here.
[[noreturn]] inline void Fail(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "fuzz property failed: %s %s\n", what, detail.c_str());
    std::abort();
}

inline void Check(bool condition, const char* what, const std::string& detail = {})
{
    if (!condition)
    {
        Fail(what, detail);
    }
}

// Resets the machine on construction and checks its handle table on destruction.
class MachineScope
{
public:
    MachineScope() { winsim::Reset(); }
    ~MachineScope()
    {
        Check(winsim::OpenHandleCount() == 0, "a handle was left open");
        Check(winsim::DoubleCloseCount() == 0, "a handle was closed twice");
    }
    MachineScope(const MachineScope&) = delete;
    MachineScope& operator=(const MachineScope&) = delete;
    MachineScope(MachineScope&&) = delete;
    MachineScope& operator=(MachineScope&&) = delete;
};

// UTF-16 code units, two bytes each, low byte first (as the bytes of a wide string lie on Windows).
inline std::wstring WideFromBytes(const unsigned char* data, std::size_t size)
{
    std::wstring wide;
    wide.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
    {
        wide.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    return wide;
}
} // namespace Quelvo::Fuzz
