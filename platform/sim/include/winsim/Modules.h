// Test control of the simulated loader: libraries that LoadLibraryExW can load, and their exports.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace winsim
{
struct LibraryDefinition
{
    // Exported functions by name; a test casts its own functions to FARPROC.
    std::map<std::string, FARPROC> exports;
    // Run inside the loading LoadLibraryExW and inside the last FreeLibrary, as DllMain would be.
    std::function<void()> onAttach;
    std::function<void()> onDetach;
};

// A library file at `path` (compared without regard to ASCII case) that LoadLibraryExW can load.
void AddLibrary(const std::wstring& path, LibraryDefinition definition);
// Removes it again (a later load fails with ERROR_MOD_NOT_FOUND).
void RemoveLibrary(const std::wstring& path);
// A module that every process has loaded from the start ("ntdll.dll", "kernel32.dll").
void AddSystemModule(const std::wstring& name, LibraryDefinition definition);
void RemoveSystemModule(const std::wstring& name);

// Whether the library at `path` is loaded now, and how often it was loaded and freed since Reset.
bool IsLibraryLoaded(const std::wstring& path);
std::size_t LibraryLoadCount(const std::wstring& path);
std::size_t LibraryFreeCount(const std::wstring& path);
// The flags of the last LoadLibraryExW call and the path it was given.
DWORD LastLoadFlags();
std::wstring LastLoadPath();
} // namespace winsim
