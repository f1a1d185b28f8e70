// The one way this project formats text. std::format where the standard library has it, {fmt} where it
// does not (GCC 12). A std::wstring argument is converted to UTF-8 with Utf8FromUtf16 first and then
// formatted exactly like a narrow string with the same specification; a failed conversion leaves the
// call as ConversionException.
#pragma once

#include "base/TextConversion.h"

#include <string>
#include <string_view>
#include <utility>
#include <version>

#if defined(__cpp_lib_format)
#include <format>
#define QUELVO_FORMAT_NAMESPACE std
#else
#include <fmt/format.h>
#include <fmt/xchar.h>
#define QUELVO_FORMAT_NAMESPACE fmt
#endif

namespace Quelvo
{
namespace format_detail
{
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

template <class... Args>
using FormatString = QUELVO_FORMAT_NAMESPACE::format_string<format_detail::NarrowType<Args>...>;

template <class... Args>
std::string Format(FormatString<Args...> format, const Args&... args)
{
    return QUELVO_FORMAT_NAMESPACE::format(format, format_detail::Narrow(args)...);
}

// Formats wide text with a wide format string; the arguments keep their wide form.
template <class... Args>
std::wstring FormatWide(QUELVO_FORMAT_NAMESPACE::wformat_string<const Args&...> format, const Args&... args)
{
    return QUELVO_FORMAT_NAMESPACE::format(format, args...);
}
} // namespace Quelvo
