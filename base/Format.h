// The one way this project formats text: std::format or {fmt}, as the build chooses (QUELVO_FORMAT in
// cmake/Formatting.cmake). Both take the same format strings and give the same text, except a width or
// precision applied to text with East Asian wide characters or combining marks: std::format counts
// columns and keeps combined characters together, {fmt} 9 counts code points (the product pads numbers
// only). A std::wstring argument is converted to UTF-8 with Utf8FromUtf16 first and then formatted
// exactly like a narrow string with the same specification; a failed conversion leaves the call as
// ConversionException.
#pragma once

#include "base/TextConversion.h"

#include <string>
#include <string_view>
#include <utility>

#if defined(QUELVO_FORMAT_STD)
#include <format>
#elif defined(QUELVO_FORMAT_FMT)
#include <fmt/format.h>
#include <fmt/xchar.h>
#else
#error "The build defines QUELVO_FORMAT_STD or QUELVO_FORMAT_FMT (cmake/Formatting.cmake)"
#endif

namespace Quelvo
{
namespace format_detail
{
#if defined(QUELVO_FORMAT_STD)
namespace library = std;
#else
namespace library = fmt;
#endif

template <class T>
const T& Narrow(const T& value)
{
    return value;
}

inline std::string Narrow(const std::wstring& value)
{
    return Utf8FromUtf16(value);
}

inline std::string Narrow(std::wstring_view value)
{
    return Utf8FromUtf16(std::wstring(value));
}

template <class T>
using NarrowType = decltype(Narrow(std::declval<const T&>()));
} // namespace format_detail

// Checked at compile time against the arguments as they are formatted (wide strings as narrow ones).
template <class... Args>
using FormatString = format_detail::library::format_string<format_detail::NarrowType<Args>...>;

template <class... Args>
using WideFormatString = format_detail::library::wformat_string<const Args&...>;

template <class... Args>
std::string Format(FormatString<Args...> format, const Args&... args)
{
    return format_detail::library::format(format, format_detail::Narrow(args)...);
}

// Formats wide text with a wide format string; the arguments keep their wide form.
template <class... Args>
std::wstring FormatWide(WideFormatString<Args...> format, const Args&... args)
{
    return format_detail::library::format(format, args...);
}
} // namespace Quelvo
