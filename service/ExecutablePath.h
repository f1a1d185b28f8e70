// The executable part of a service's configured command line.
#pragma once

#include <string>

namespace Quelvo
{
// The quoted path at the start of the line, or the text up to the first space. Environment variables
// are not expanded and relative paths are not resolved.
std::wstring ExecutablePathFromCommandLine(const std::wstring& commandLine);
} // namespace Quelvo
