// The operating system's own text for an error code, whatever C++ library the program is built with:
// some libraries' system_category() knows only the C runtime's errno texts.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

namespace Quelvo
{
// FormatMessageW's text for a Win32 code in UTF-8, without its trailing line break; "Unknown error
// <code>" when the system has no text for it. Throws only std::bad_alloc, and leaves the thread's last
// error as it found it.
std::string SystemErrorText(DWORD code);

// The text of an error code: the system's text in the system category, the category's own otherwise.
std::string ErrorCodeText(const std::error_code& code);
} // namespace Quelvo
