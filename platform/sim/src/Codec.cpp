// Strict CP_UTF8 conversion, as WideCharToMultiByte and MultiByteToWideChar document it.
#include "Internal.h"

#include <string>

namespace
{
constexpr char32_t kReplacement = 0xFFFD;

// Decodes UTF-16 units into scalar values; an unpaired surrogate (or a unit above 0xFFFF, which a
// wchar_t of this platform could hold but UTF-16 cannot) yields nothing and marks the text invalid.
bool DecodeUtf16(const wchar_t* text, std::size_t count, bool strict, std::u32string& scalars)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (unit > 0xFFFF)
        {
            if (strict)
            {
                return false;
            }
            scalars.push_back(kReplacement);
        }
        else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count &&
                 static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
                 static_cast<std::uint32_t>(text[i + 1]) <= 0xDFFF)
        {
            const auto low = static_cast<std::uint32_t>(text[i + 1]);
            scalars.push_back(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
            ++i;
        }
        else if (unit >= 0xD800 && unit <= 0xDFFF)
        {
            if (strict)
            {
                return false;
            }
            scalars.push_back(kReplacement);
        }
        else
        {
            scalars.push_back(static_cast<char32_t>(unit));
        }
    }
    return true;
}

void EncodeUtf8(char32_t scalar, std::string& out)
{
    if (scalar < 0x80)
    {
        out.push_back(static_cast<char>(scalar));
    }
    else if (scalar < 0x800)
    {
        out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
    else if (scalar < 0x10000)
    {
        out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
    else
    {
        out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

// Decodes UTF-8 by the rules of Unicode (no overlong forms, no surrogates, nothing above U+10FFFF);
// in lenient mode each maximal ill-formed subpart becomes one U+FFFD.
bool DecodeUtf8(const unsigned char* text, std::size_t count, bool strict, std::u32string& scalars)
{
    std::size_t i = 0;
    while (i < count)
    {
        const unsigned char lead = text[i];
        if (lead < 0x80)
        {
            scalars.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t scalar = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            length = 2;
            scalar = lead & 0x1F;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            length = 3;
            scalar = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            length = 4;
            scalar = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        }
        std::size_t consumed = 1;
        bool valid = length != 0;
        for (std::size_t k = 1; valid && k < length; ++k)
        {
            const std::size_t at = i + k;
            const unsigned char lo = k == 1 ? low : 0x80;
            const unsigned char hi = k == 1 ? high : 0xBF;
            if (at >= count || text[at] < lo || text[at] > hi)
            {
                valid = false;
                break;
            }
            scalar = (scalar << 6) | (text[at] & 0x3F);
            ++consumed;
        }
        if (!valid)
        {
            if (strict)
            {
                return false;
            }
            scalars.push_back(kReplacement);
            i += consumed;
            continue;
        }
        scalars.push_back(scalar);
        i += length;
    }
    return true;
}

int Fail(DWORD error)
{
    SetLastError(error);
    return 0;
}
} // namespace

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int wideCount,
                               LPSTR multiByteText, int multiByteCount, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar)
{
    std::lock_guard guard(winsim::detail::MachineLock());
    if (const auto fault = winsim::detail::Enter("WideCharToMultiByte"))
    {
        return Fail(*fault);
    }
    if (codePage != CP_UTF8 || wideText == nullptr || wideCount == 0 || wideCount < -1 ||
        multiByteCount < 0 || (multiByteCount > 0 && multiByteText == nullptr) || defaultChar != nullptr ||
        usedDefaultChar != nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0)
    {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const std::size_t count = wideCount == -1 ? std::char_traits<wchar_t>::length(wideText) + 1
                                              : static_cast<std::size_t>(wideCount);
    std::u32string scalars;
    if (!DecodeUtf16(wideText, count, (flags & WC_ERR_INVALID_CHARS) != 0, scalars))
    {
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    std::string out;
    for (const char32_t scalar : scalars)
    {
        EncodeUtf8(scalar, out);
    }
    if (multiByteCount == 0)
    {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<std::size_t>(multiByteCount))
    {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    out.copy(multiByteText, out.size());
    return static_cast<int>(out.size());
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteText, int multiByteCount,
                               LPWSTR wideText, int wideCount)
{
    std::lock_guard guard(winsim::detail::MachineLock());
    if (const auto fault = winsim::detail::Enter("MultiByteToWideChar"))
    {
        return Fail(*fault);
    }
    if (codePage != CP_UTF8 || multiByteText == nullptr || multiByteCount == 0 || multiByteCount < -1 ||
        wideCount < 0 || (wideCount > 0 && wideText == nullptr))
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0)
    {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const std::size_t count = multiByteCount == -1 ? std::char_traits<char>::length(multiByteText) + 1
                                                   : static_cast<std::size_t>(multiByteCount);
    std::u32string scalars;
    if (!DecodeUtf8(reinterpret_cast<const unsigned char*>(multiByteText), count,
                    (flags & MB_ERR_INVALID_CHARS) != 0, scalars))
    {
        return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    std::wstring out;
    for (const char32_t scalar : scalars)
    {
        if (scalar >= 0x10000)
        {
            out.push_back(static_cast<wchar_t>(0xD800 + ((scalar - 0x10000) >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + ((scalar - 0x10000) & 0x3FF)));
        }
        else
        {
            out.push_back(static_cast<wchar_t>(scalar));
        }
    }
    if (wideCount == 0)
    {
        return static_cast<int>(out.size());
    }
    if (out.size() > static_cast<std::size_t>(wideCount))
    {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    out.copy(wideText, out.size());
    return static_cast<int>(out.size());
}
