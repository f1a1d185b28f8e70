// The time-out of a Win32 wait for a duration.
#pragma once

#include <windows.h>

#include <chrono>

namespace Quelvo
{
// The duration in milliseconds, clamped to the waits there are: nothing below 0, and above the longest
// finite wait that wait itself, never INFINITE and never the 32-bit wrap of a longer duration (which
// would wait far less than asked).
template <class Rep, class Period>
DWORD WaitMilliseconds(std::chrono::duration<Rep, Period> duration)
{
    using Duration = std::chrono::duration<Rep, Period>;
    constexpr std::chrono::milliseconds kLongest{INFINITE - 1};
    if (duration <= Duration::zero())
    {
        return 0;
    }
    // Compared in the duration's own unit, so that a long duration cannot overflow on its way to ms.
    if (duration > std::chrono::duration_cast<Duration>(kLongest))
    {
        return INFINITE - 1;
    }
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}
} // namespace Quelvo
