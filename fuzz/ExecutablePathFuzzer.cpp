// Extracts the executable from arbitrary service command lines: the result is always a piece of the
// line, never longer, and holds no blank unless it came from between quotes.
#include "FuzzCheck.h"

#include "service/ExecutablePath.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace Quelvo;
    const Fuzz::MachineScope machine;
    const std::wstring line = Fuzz::WideFromBytes(data, size);
    const std::wstring path = ExecutablePathFromCommandLine(line);

    Fuzz::Check(path.size() <= line.size(), "the path is longer than the line");
    if (line.empty())
    {
        Fuzz::Check(path.empty(), "an empty line gave a path");
        return 0;
    }
    const bool quoted = line.front() == L'"';
    const std::size_t closingQuote = quoted ? line.find(L'"', 1) : std::wstring::npos;
    if (quoted && closingQuote != std::wstring::npos)
    {
        // Everything strictly between the first two quotes, blanks included.
        Fuzz::Check(line.compare(1, path.size(), path) == 0 && path.size() + 1 == closingQuote,
                    "a quoted path is not the text between the quotes");
        return 0;
    }
    // Unquoted or unclosed: a prefix of the line (after the opening quote) up to its first blank.
    const std::size_t start = quoted ? 1 : 0;
    Fuzz::Check(line.compare(start, path.size(), path) == 0, "the path is not where the line starts");
    Fuzz::Check(path.find(L' ') == std::wstring::npos, "an unquoted path holds a blank");
    const std::size_t end = start + path.size();
    Fuzz::Check(end == line.size() || line[end] == L' ', "the path stops before the first blank");
    return 0;
}
