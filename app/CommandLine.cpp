#include "app/CommandLine.h"

#include <stdexcept>

namespace Quelvo
{
std::locale LocaleOrClassic(const char* name)
{
    try
    {
        return std::locale(name);
    }
    catch (const std::runtime_error&)
    {
        // The runtime may know no locale by the user's name (MinGW's knows only "C"); the switches are
        // ASCII, so the classic locale lower-cases them all the same.
        return std::locale::classic();
    }
}

const std::locale& LowerCasingLocale()
{
    static const std::locale locale = LocaleOrClassic("");
    return locale;
}

std::wstring LowerCasedCommandLine(const wchar_t* text)
{
    std::wstring line = text != nullptr ? std::wstring(text) : std::wstring();
    const auto& ctype = std::use_facet<std::ctype<wchar_t>>(LowerCasingLocale());
    for (auto& unit : line)
    {
        unit = ctype.tolower(unit);
    }
    return line;
}

bool HasSwitch(std::wstring_view commandLine, std::wstring_view switchText)
{
    return commandLine.find(switchText) != std::wstring_view::npos;
}
} // namespace Quelvo
