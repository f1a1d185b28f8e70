#include "app/ProcessHardening.h"

#include <windows.h>

namespace Quelvo
{
namespace
{
// Windows 8, and Windows 7 with KB2533623.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

template <class Function>
Function Kernel32Export(const char* name)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr)
    {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name)));
}
} // namespace

void HardenDllSearch() noexcept
{
    // A failed lookup or call leaves its code (127, say) as the thread's last error, which a later
    // failure that sets none would pass on as the tool's exit code: the caller's is put back.
    const DWORD lastError = GetLastError();
    // The result is ignored on purpose: a system that refuses keeps its usual search.
    if (const auto setDefaultDllDirectories =
            Kernel32Export<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
    {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    }
    SetLastError(lastError);
}
} // namespace Quelvo
