// Starting a program with the hook library inside it: created suspended, the library loaded by a
// remote thread on LoadLibraryW, then resumed. The hook library patches the program's imports in its
// DllMain, before the program's own start-up code runs.
#pragma once

#include <windows.h>

namespace Quelvo::Injection
{
// Loads `library` into the (suspended) process; 0 or the Win32 error of the step that failed.
DWORD LoadLibraryInto(HANDLE process, const wchar_t* library);

// CreateProcessW with the same arguments, the hook library `library` loaded before the program's first
// instruction. The primary thread stays suspended only when `flags` asks for it. False with the last
// error on failure; a process whose injection failed is ended.
BOOL CreateInjectedProcess(const wchar_t* library, const wchar_t* application, wchar_t* commandLine,
                           SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes,
                           BOOL inheritHandles, DWORD flags, void* environment, const wchar_t* directory,
                           STARTUPINFOW* startup, PROCESS_INFORMATION* information);
} // namespace Quelvo::Injection
