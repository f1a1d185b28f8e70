// Owner of one kernel handle, normally shared through std::make_shared<WinHandle>. Null and
// INVALID_HANDLE_VALUE both mean "no handle": they are held, but never passed to the release action.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

namespace Quelvo
{
class WinHandle
{
public:
    using Release = std::function<int(void*)>;

    // A handle is usable when it is neither null nor INVALID_HANDLE_VALUE.
    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

    WinHandle(HANDLE handle, Release release) : m_handle(handle), m_release(std::move(release)) {}

    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;

    ~WinHandle() { Close(); }

    HANDLE Get() const { return m_handle; }

    // Where a Win32 call puts a new handle, as its result or its out-parameter; a handle held before is
    // released first. The holder can thus exist before the handle does, and owns it from its first moment.
    HANDLE* Put()
    {
        Close();
        return &m_handle;
    }

    bool IsValid() const { return IsValid(m_handle); }

    // The handle for a Win32 call that must fail on an unusable handle: null in place of an invalid one.
    HANDLE GetOrNull() const { return IsValid() ? m_handle : nullptr; }

private:
    void Close()
    {
        if (IsValid(m_handle) && m_release)
        {
            m_release(m_handle);
        }
        m_handle = nullptr;
    }

    HANDLE m_handle; // first field: the holder's address is the address of the handle
    Release m_release;
};

// The release action of process, thread and token handles. Closing often happens while an exception
// leaves an operation, and callers up the stack read the last error of the call that failed: the close
// must not overwrite it.
inline int CloseKernelHandle(void* handle)
{
    const DWORD lastError = GetLastError();
    const int closed = CloseHandle(handle);
    SetLastError(lastError);
    return closed;
}
} // namespace Quelvo
