// The exit code of a process that runs out of memory outside every handler: the entry point catches
// nothing, and the C++ runtime's abort would end it with 3, which Security Center reads as
// ERROR_PATH_NOT_FOUND.
#pragma once

#include <windows.h>

#include <exception>
#include <optional>

namespace Quelvo
{
// ERROR_NOT_ENOUGH_MEMORY when the exception is a std::bad_alloc (or cannot even be looked at for want
// of memory); nothing for any other exception, or none.
std::optional<DWORD> OutOfMemoryExitCode(const std::exception_ptr& exception) noexcept;

// Installs a terminate handler that ends the process with OutOfMemoryExitCode's code for the exception
// in flight, and leaves every other case to the handler it replaces.
void EndOutOfMemoryWithItsCode();
} // namespace Quelvo
