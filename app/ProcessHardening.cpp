#include "app/ProcessHardening.h"

#include <windows.h>

namespace Quelvo
{
namespace
{
// Windows 8, and Windows 7 with KB2533623.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
// Windows 8; the image-load policy from Windows 10.
using SetProcessMitigationPolicyFunction = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

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
    // The results are ignored on purpose: a system that refuses either keeps its usual search.
    if (const auto setDefaultDllDirectories =
            Kernel32Export<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
    {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    }
    if (const auto setProcessMitigationPolicy =
            Kernel32Export<SetProcessMitigationPolicyFunction>("SetProcessMitigationPolicy"))
    {
        PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
        policy.PreferSystem32Images = 1;
        setProcessMitigationPolicy(ProcessImageLoadPolicy, &policy, sizeof(policy));
    }
}
} // namespace Quelvo
