// Runs ConvertPath against a conversion function whose answers are fuzzed: needed sizes, lengths
// written, failures. Whatever it answers, ConvertPath must stay inside the buffer it handed out and
// never return more than it.
#include "FuzzCheck.h"

#include "base/PathConversion.h"

#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace
{
using namespace Quelvo;

// A real path function never reports more than a long path's 32767 characters and its NUL; a little
// above that still exercises every size check without allocating gigabytes.
constexpr DWORD LargestNeededSize = 40000;

struct Script
{
    bool failLength = false;
    DWORD needed = 0;
    bool failFill = false;
    DWORD written = 0;  // characters the function writes into the buffer (clamped to its size)
    DWORD reported = 0; // what the fill call returns
    DWORD error = 0;
    wchar_t fill = L'x';
};

Script ReadScript(FuzzedDataProvider& input)
{
    Script script;
    script.failLength = input.ConsumeBool();
    script.needed = input.ConsumeIntegralInRange<DWORD>(0, LargestNeededSize);
    script.failFill = input.ConsumeBool();
    script.written = input.ConsumeIntegralInRange<DWORD>(0, LargestNeededSize);
    script.reported = input.ConsumeBool() ? script.written : input.ConsumeIntegral<DWORD>();
    script.error = input.ConsumeIntegralInRange<DWORD>(1, 20000);
    script.fill = static_cast<wchar_t>(input.ConsumeIntegralInRange<std::uint32_t>(1, 0xFFFF));
    return script;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Fuzz::MachineScope machine;
    FuzzedDataProvider input(data, size);
    const Script script = ReadScript(input);
    const std::string pathBytes = input.ConsumeRandomLengthString(512);
    const std::wstring path =
        Fuzz::WideFromBytes(reinterpret_cast<const std::uint8_t*>(pathBytes.data()), pathBytes.size());

    unsigned calls = 0;
    DWORD bufferSize = 0;
    const PathConversionFunction convert = [&](LPCWSTR source, LPWSTR buffer, DWORD capacity) -> DWORD
    {
        ++calls;
        Fuzz::Check(source != nullptr && std::wstring(source) == path.substr(0, path.find(L'\0')),
                    "the path was not passed as NUL-terminated text");
        if (calls == 1)
        {
            Fuzz::Check(buffer == nullptr && capacity == 0, "the length query passed a buffer");
            SetLastError(script.failLength ? script.error : 0);
            return script.failLength ? 0 : script.needed;
        }
        Fuzz::Check(calls == 2, "the conversion function was called a third time");
        Fuzz::Check(buffer != nullptr && capacity == script.needed, "the fill was not given the needed size");
        bufferSize = capacity;
        if (script.failFill)
        {
            SetLastError(script.error);
            return 0;
        }
        // Writes as much as it says it will, but never past the size it was given: anything past the
        // caller's buffer is then the caller's fault, and AddressSanitizer reports it.
        const DWORD count = script.written < capacity ? script.written : capacity;
        for (DWORD i = 0; i < count; ++i)
        {
            buffer[i] = script.fill;
        }
        if (count < capacity)
        {
            buffer[count] = L'\0';
        }
        return script.reported;
    };

    try
    {
        const std::wstring converted = ConvertPath(path, convert, "short");
        Fuzz::Check(calls == 2, "a conversion succeeded without two calls");
        Fuzz::Check(converted.size() <= bufferSize, "more was returned than the buffer holds");
        Fuzz::Check(converted.size() == script.reported, "the returned length was not used");
        const DWORD filled = script.written < bufferSize ? script.written : bufferSize;
        for (std::size_t i = 0; i < converted.size(); ++i)
        {
            Fuzz::Check(converted[i] == (i < filled ? script.fill : L'\0'),
                        "the result is not what was written");
        }
    }
    catch (const std::system_error& error)
    {
        Fuzz::Check(error.code().category() == std::system_category(), "the error is not a system error");
        const std::string message = error.what();
        if (calls == 1)
        {
            Fuzz::Check(script.failLength || script.needed == 0, "a length query that worked was reported");
            Fuzz::Check(error.code().value() == static_cast<int>(script.error) || !script.failLength,
                        "the length query's error code was lost");
            Fuzz::Check(
                StartsWith(message, "Can't convert path to short path. Failed to retrieve its length."),
                "wrong message for the length query", message);
        }
        else
        {
            Fuzz::Check(StartsWith(message, "Can't convert path to short path"), "wrong message for the fill",
                        message);
            Fuzz::Check(script.failFill || script.reported == 0 || script.reported > bufferSize,
                        "a fill that fits was reported as a failure", message);
        }
    }
    return 0;
}
