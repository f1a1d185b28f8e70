#include "process/ModuleFileName.h"

#include "base/CheckedArithmetic.h"

#include <algorithm>

namespace Quelvo
{
ModuleFileNameRead ReadModuleFileName(HMODULE module, const ModuleFileNameGrowth& growth)
{
    DWORD size = growth.initialSize;
    for (;;)
    {
        ModuleFileNameRead read;
        read.buffer.assign(CheckedAdd<DWORD>(size, 1), L'\0');
        // A successful call need not clear the last error; a stale code must not decide the outcome.
        SetLastError(ERROR_SUCCESS);
        read.count = GetModuleFileNameW(module, read.buffer.data(), size);
        read.error = GetLastError();
        // A report of a short buffer with nothing written would grow from 0 for ever.
        if (read.error != ERROR_INSUFFICIENT_BUFFER || read.count == 0 || size >= growth.limit)
        {
            return read;
        }
        size = std::min(growth.next(size, read.count), growth.limit);
    }
}
} // namespace Quelvo
