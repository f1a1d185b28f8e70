#include "ServiceOptions.h"

#include <cwchar>

namespace Demo
{
namespace
{
std::optional<DWORD> ParseNumber(const std::wstring& text)
{
    if (text.empty())
    {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (end == nullptr || *end != L'\0')
    {
        return std::nullopt;
    }
    return static_cast<DWORD>(value);
}
} // namespace

ServiceOptions ParseServiceOptions(const std::vector<std::wstring>& arguments)
{
    ServiceOptions options;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
    {
        const std::wstring& name = arguments[i];
        const auto value = ParseNumber(arguments[i + 1]);
        if (!value)
        {
            continue;
        }
        if (name == L"--start-delay-ms")
        {
            options.startDelayMs = *value;
        }
        else if (name == L"--fail-with")
        {
            options.failWith = *value;
        }
        else if (name == L"--stop-delay-ms")
        {
            options.stopDelayMs = *value;
        }
        else
        {
            continue;
        }
        ++i;
    }
    return options;
}
} // namespace Demo
