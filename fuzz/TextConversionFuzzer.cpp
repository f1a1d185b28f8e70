// Converts arbitrary UTF-8 bytes and UTF-16 code units. Valid text must round-trip; ill-formed text
// must raise ConversionException with code 1113 and the source's bytes in its message.
#include "FuzzCheck.h"

#include "base/TextConversion.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace
{
using namespace Quelvo;

constexpr int ErrorNoUnicodeTranslation = 1113;

// An independent strict UTF-8 check: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size())
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80)
        {
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0)
        {
            length = 2, codePoint = lead & 0x1F, minimum = 0x80;
        }
        else if ((lead & 0xF0) == 0xE0)
        {
            length = 3, codePoint = lead & 0x0F, minimum = 0x800;
        }
        else if ((lead & 0xF8) == 0xF0)
        {
            length = 4, codePoint = lead & 0x07, minimum = 0x10000;
        }
        else
        {
            return false;
        }
        if (text.size() - i < length)
        {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
            {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsValidUtf16(const std::wstring& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF)
        {
            if (i + 1 == text.size() || static_cast<std::uint32_t>(text[i + 1]) < 0xDC00 ||
                static_cast<std::uint32_t>(text[i + 1]) > 0xDFFF)
            {
                return false;
            }
            ++i;
        }
        else if (unit >= 0xDC00 && unit <= 0xDFFF)
        {
            return false;
        }
    }
    return true;
}

std::string ByteList(const std::string& bytes)
{
    std::string list;
    for (std::size_t i = 0; i < bytes.size(); ++i)
    {
        list += (i == 0 ? "" : "/") + std::to_string(static_cast<int>(static_cast<signed char>(bytes[i])));
    }
    return list;
}

std::string BytesOfWide(const std::wstring& wide)
{
    std::string bytes;
    for (const wchar_t unit : wide)
    {
        bytes.push_back(static_cast<char>(static_cast<std::uint32_t>(unit) & 0xFF));
        bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(unit) >> 8) & 0xFF));
    }
    return bytes;
}

template <class Text>
Text UpToNul(const Text& text)
{
    return text.substr(0, text.find(typename Text::value_type{}));
}

void CheckException(const ConversionException& error, const std::string& sourceBytes, const char* from,
                    const char* to)
{
    const std::string message = error.what();
    Fuzz::Check(error.code().value() == ErrorNoUnicodeTranslation, "ill-formed text gave another code",
                std::to_string(error.code().value()));
    Fuzz::Check(error.code().category() == std::system_category(), "the code is not in the system category");
    const std::string expected =
        std::string(". Can't convert bytes: \"") + ByteList(sourceBytes) + "\" from " + from + " to " + to;
    Fuzz::Check(message.find(expected) != std::string::npos, "the message lacks the byte list", message);
}

void CheckNarrow(const std::string& input)
{
    const std::string text = UpToNul(input);
    try
    {
        const std::wstring wide = Utf16FromUtf8(input);
        Fuzz::Check(IsValidUtf8(text), "ill-formed UTF-8 was accepted", input);
        Fuzz::Check(IsValidUtf16(wide), "UTF-8 gave ill-formed UTF-16", input);
        Fuzz::Check(Utf8FromUtf16(wide) == text, "UTF-8 did not round-trip", input);
    }
    catch (const ConversionException& error)
    {
        Fuzz::Check(!IsValidUtf8(text), "valid UTF-8 was rejected", input);
        CheckException(error, input, "UTF-8", "UTF-16");
    }
}

void CheckWide(const std::wstring& input)
{
    const std::wstring text = UpToNul(input);
    try
    {
        const std::string narrow = Utf8FromUtf16(input);
        Fuzz::Check(IsValidUtf16(text), "ill-formed UTF-16 was accepted");
        Fuzz::Check(IsValidUtf8(narrow), "UTF-16 gave ill-formed UTF-8", narrow);
        Fuzz::Check(Utf16FromUtf8(narrow) == text, "UTF-16 did not round-trip", narrow);
    }
    catch (const ConversionException& error)
    {
        Fuzz::Check(!IsValidUtf16(text), "valid UTF-16 was rejected");
        CheckException(error, BytesOfWide(input), "UTF-16", "UTF-8");
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Fuzz::MachineScope machine;
    CheckNarrow(std::string(reinterpret_cast<const char*>(data), size));
    CheckWide(Fuzz::WideFromBytes(data, size));
    return 0;
}
