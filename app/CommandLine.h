// The command line of the tool: its switches, lower-casing, and the switch test.
#pragma once

#include <locale>
#include <string>
#include <string_view>

namespace Quelvo
{
// The whole vocabulary of the tool, all lower-case.
namespace Switch
{
inline constexpr std::wstring_view Av = L"/av";
inline constexpr std::wstring_view As = L"/as";
inline constexpr std::wstring_view Fw = L"/fw";
inline constexpr std::wstring_view Enable = L"/enable";
inline constexpr std::wstring_view Disable = L"/disable";
inline constexpr std::wstring_view Launch = L"/launch";
inline constexpr std::wstring_view Update = L"/update";
inline constexpr std::wstring_view Renew = L"/renew";
inline constexpr std::wstring_view Trusted = L"/trusted";
} // namespace Switch

// The locale named `name`, or the classic one when the C++ runtime does not know that name.
std::locale LocaleOrClassic(const char* name);

// The process-wide lower-casing locale: the user's default locale, built on first use.
const std::locale& LowerCasingLocale();

// A copy of `text` (up to its NUL; null is empty) with every UTF-16 code unit lower-cased in place.
std::wstring LowerCasedCommandLine(const wchar_t* text);

// Whether `switchText` occurs anywhere in `commandLine` (a plain substring search).
bool HasSwitch(std::wstring_view commandLine, std::wstring_view switchText);
} // namespace Quelvo
