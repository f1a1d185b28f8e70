#include "support/Platform.h"

#include <windows.h>

namespace Quelvo::Testing
{
bool RunningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
} // namespace Quelvo::Testing
