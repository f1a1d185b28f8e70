// The file name of a loaded module through GetModuleFileNameW, which reports no needed size: the buffer
// grows until the name fits.
#pragma once

#include <windows.h>

#include <string>

namespace Quelvo
{
// How one reader grows its buffer: the first size, the size after a call that reported a short buffer
// (from the size tried and the count that call returned; computed with checked arithmetic), and the
// size it never passes.
struct ModuleFileNameGrowth
{
    DWORD initialSize;
    DWORD (*next)(DWORD size, DWORD count);
    DWORD limit;
};

// The last call's result. The buffer holds one NUL beyond the size passed, so that it is terminated
// even where a cut name is not (older Windows, Wine).
struct ModuleFileNameRead
{
    std::wstring buffer;
    DWORD count = 0;
    DWORD error = ERROR_SUCCESS;
};

// Calls GetModuleFileNameW, and again with a bigger buffer while a call reports
// ERROR_INSUFFICIENT_BUFFER with a nonzero count and the size is below the limit. What the last call
// gave is for the caller to judge: at the limit its error is still ERROR_INSUFFICIENT_BUFFER.
ModuleFileNameRead ReadModuleFileName(HMODULE module, const ModuleFileNameGrowth& growth);
} // namespace Quelvo
