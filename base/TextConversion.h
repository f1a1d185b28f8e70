// Strict conversion between UTF-16 (what Windows speaks) and UTF-8 (what messages and the client
// library speak). Ill-formed text is never passed on with replacement characters: it raises.
#pragma once

#include <string>
#include <system_error>
#include <variant>

namespace Quelvo
{
// A failed conversion. code() is the Win32 last error of the failed call, in the system category;
// what() is a composed message naming the call, the bytes of the source and the error text.
class ConversionException : public std::system_error
{
public:
    // The source of the failed conversion: UTF-8 bytes or UTF-16 code units.
    using Source = std::variant<std::string, std::wstring>;

    ConversionException(const std::string& prefix, const Source& source, std::error_code code);
    ConversionException(const ConversionException&) = default;
    ConversionException(ConversionException&&) = default;
    ConversionException& operator=(const ConversionException&) = default;
    ConversionException& operator=(ConversionException&&) = default;
    ~ConversionException() override;

    const char* what() const noexcept override;

private:
    std::string m_message;
};

// UTF-16 to UTF-8. An empty input gives an empty output without a platform call; the input ends at
// its first NUL.
std::string Utf8FromUtf16(const std::wstring& input);

// UTF-8 to UTF-16, with the same rules.
std::wstring Utf16FromUtf8(const std::string& input);
} // namespace Quelvo
