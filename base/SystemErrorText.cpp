#include "base/SystemErrorText.h"

#include "base/Format.h"

namespace Quelvo
{
namespace
{
// Far above the longest system message; FormatMessageW fails with a smaller buffer rather than cut.
constexpr DWORD kMessageCapacity = 2048;

// UTF-16 to UTF-8 without the strict conversion's exception, which would itself need a system text.
std::string Utf8FromMessage(const WCHAR* text, int length)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
    {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), size, nullptr, nullptr);
    utf8.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return utf8;
}

class LastErrorKeeper
{
public:
    LastErrorKeeper() : m_error(GetLastError()) {}
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;
    ~LastErrorKeeper() { SetLastError(m_error); }

private:
    DWORD m_error;
};
} // namespace

std::string SystemErrorText(DWORD code)
{
    const LastErrorKeeper keeper;
    std::wstring buffer(kMessageCapacity, L'\0');
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, buffer.data(), kMessageCapacity, nullptr);
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n'))
    {
        --length;
    }
    std::string text = length > 0 ? Utf8FromMessage(buffer.data(), static_cast<int>(length)) : std::string();
    return text.empty() ? Format("Unknown error {}", code) : text;
}

std::string ErrorCodeText(const std::error_code& code)
{
    return code.category() == std::system_category() ? SystemErrorText(static_cast<DWORD>(code.value()))
                                                     : code.message();
}
} // namespace Quelvo
