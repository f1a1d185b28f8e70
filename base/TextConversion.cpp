#include "base/TextConversion.h"

#include "base/CheckedArithmetic.h"
#include "base/Format.h"
#include "base/SystemErrorText.h"

#include <windows.h>

#include <clocale>
#include <cstdint>
#include <vector>

namespace Quelvo
{
namespace
{
struct Direction
{
    const char* from;
    const char* to;
};

Direction DirectionOf(const ConversionException::Source& source)
{
    return source.index() == 0 ? Direction{"UTF-8", "UTF-16"} : Direction{"UTF-16", "UTF-8"};
}

// The source as it lies in memory on Windows: UTF-8 bytes, or UTF-16 units low byte first.
std::vector<std::uint8_t> BytesOf(const ConversionException::Source& source)
{
    if (const auto* narrow = std::get_if<std::string>(&source))
    {
        return {narrow->begin(), narrow->end()};
    }
    const auto& wide = std::get<std::wstring>(source);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(CheckedMul<std::uint64_t>(wide.size(), 2)));
    for (const wchar_t unit : wide)
    {
        // One UTF-16 code unit, whatever the width of wchar_t.
        const auto value = static_cast<char16_t>(unit);
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    }
    return bytes;
}

std::size_t EstimatedMessageSize(const std::string& prefix, std::size_t byteCount, Direction direction,
                                 const std::string& errorText)
{
    try
    {
        auto size = CheckedSub<std::uint64_t>(CheckedMul<std::uint64_t>(2, byteCount), 1);
        size = CheckedAdd<std::uint64_t>(size, prefix.size());
        size = CheckedAdd<std::uint64_t>(size, std::char_traits<char>::length(direction.from));
        size = CheckedAdd<std::uint64_t>(size, std::char_traits<char>::length(direction.to));
        size = CheckedAdd<std::uint64_t>(size, errorText.size());
        return static_cast<std::size_t>(CheckedAdd<std::uint64_t>(size, 100));
    }
    catch (const std::exception&)
    {
        return 65534;
    }
}

std::string ComposeMessage(const std::string& prefix, const std::vector<std::uint8_t>& bytes,
                           Direction direction, const std::string& errorText)
{
    std::string message;
    message.reserve(EstimatedMessageSize(prefix, bytes.size(), direction, errorText));
    message += prefix;
    try
    {
        message += ". Can't convert bytes: \"";
        for (std::size_t i = 0; i < bytes.size(); ++i)
        {
            if (i != 0)
            {
                message += '/';
            }
            message += std::to_string(static_cast<int>(static_cast<std::int8_t>(bytes[i])));
        }
        message += "\" from ";
        message += direction.from;
        message += " to ";
        message += direction.to;
        message += ". locale: ";
        const char* locale = std::setlocale(LC_CTYPE, nullptr);
        message += locale != nullptr ? locale : "";
        message += ". Error: ";
        message += errorText;
    }
    catch (const std::exception& e)
    {
        message += ". Can't complete message due to an exception during message creation: ";
        message += e.what();
    }
    catch (...)
    {
        message += ". Can't complete message due to an unknown exception during message creation.";
    }
    return message;
}

// Reads the last error before anything else can touch it, then raises it with a copy of the input.
template <class Text>
[[noreturn]] void ThrowConversionError(const char* prefix, const Text& input)
{
    const DWORD error = GetLastError();
    throw ConversionException(prefix, ConversionException::Source(input),
                              std::error_code(static_cast<int>(error), std::system_category()));
}
} // namespace

ConversionException::ConversionException(const std::string& prefix, const Source& source,
                                         std::error_code code)
    : std::system_error(code)
{
    const Direction direction = DirectionOf(source);
    std::vector<std::uint8_t> bytes;
    try
    {
        bytes = BytesOf(source);
    }
    catch (const std::exception& e)
    {
        m_message = Format("Exception during get bytes of string: {}", e.what());
        return;
    }
    catch (...)
    {
        m_message = " Unknown exception during get bytes of string";
        return;
    }
    try
    {
        m_message = ComposeMessage(prefix, bytes, direction, ErrorCodeText(code));
    }
    catch (const std::exception& e)
    {
        m_message = Format("{} Exception during throw in Conversion exception of string from {} to {}: {}",
                           prefix, direction.from, direction.to, e.what());
    }
    catch (...)
    {
        m_message =
            Format("{} Unknown exception during throw in Conversion exception of string from {} to {}",
                   prefix, direction.from, direction.to);
    }
}

ConversionException::~ConversionException() = default;

const char* ConversionException::what() const noexcept
{
    return m_message.c_str();
}

std::string Utf8FromUtf16(const std::wstring& input)
{
    if (input.empty())
    {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, input.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length < 1)
    {
        ThrowConversionError("WideCharToMultiByte error. Can't get destination length. ", input);
    }
    std::string output(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, input.c_str(), -1, output.data(), length, nullptr,
                            nullptr) == 0)
    {
        ThrowConversionError("WideCharToMultiByte error", input);
    }
    output.pop_back();
    return output;
}

std::wstring Utf16FromUtf8(const std::string& input)
{
    if (input.empty())
    {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input.c_str(), -1, nullptr, 0);
    if (length < 1)
    {
        ThrowConversionError("MultiByteToWideChar error. Can't get destination length.", input);
    }
    std::wstring output(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input.c_str(), -1, output.data(), length) == 0)
    {
        ThrowConversionError("MultiByteToWideChar error", input);
    }
    output.pop_back();
    return output;
}
} // namespace Quelvo
