#include "os/RegistryString.h"

#include "base/CheckedArithmetic.h"
#include "base/TextConversion.h"
#include "base/Win32Error.h"

#include <vector>

namespace Quelvo
{
namespace
{
const std::size_t initialCharacters = 64;
} // namespace

std::string ReadRegistryString(HKEY key, const std::string& valueName)
{
    const std::wstring name = Utf16FromUtf8(valueName);
    std::vector<wchar_t> buffer(initialCharacters, L'\0');
    auto size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    LSTATUS status = RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &size);
    if (status == ERROR_MORE_DATA)
    {
        buffer.assign(CheckedMul<DWORD>(CheckedAdd<DWORD>(size, 1), 2), L'\0');
        status = RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(), &size);
    }
    if (status != ERROR_SUCCESS)
    {
        ThrowWin32Error(static_cast<DWORD>(status), "Failed to read registry value");
    }
    const std::wstring text(buffer.data(), buffer.size());
    return Utf8FromUtf16(text.substr(0, text.find(L'\0')));
}
} // namespace Quelvo
