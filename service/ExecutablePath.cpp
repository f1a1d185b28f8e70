#include "service/ExecutablePath.h"

namespace Quelvo
{
std::wstring ExecutablePathFromCommandLine(const std::wstring& commandLine)
{
    if (commandLine.empty())
    {
        return {};
    }
    std::wstring path = commandLine;
    if (path.front() == L'"')
    {
        const auto closingQuote = path.find(L'"', 1);
        if (path.size() > 1 && closingQuote != std::wstring::npos)
        {
            return path.substr(1, closingQuote - 1);
        }
        // An unclosed quote: the rest of the line is read as if it were unquoted.
        path.erase(0, 1);
    }
    const auto space = path.find(L' ');
    if (space != std::wstring::npos)
    {
        path.resize(space);
    }
    return path;
}
} // namespace Quelvo
