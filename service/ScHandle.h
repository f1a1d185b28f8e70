// Sole owner of one SC_HANDLE (null when empty); the destructor closes it.
#pragma once

#include "service/ServiceError.h"

#include <windows.h>

#include <utility>

namespace Quelvo
{
class ScHandle
{
public:
    ScHandle() = default;
    explicit ScHandle(SC_HANDLE handle) noexcept : m_handle(handle) {}

    ScHandle(ScHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    ScHandle& operator=(ScHandle&& other) noexcept
    {
        if (this != &other)
        {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;

    ~ScHandle() { Close(); }

    // The handle for an SCM call; an empty holder is a programming error and raises.
    SC_HANDLE Get() const
    {
        if (m_handle == nullptr)
        {
            throw ServiceError("sc_handle not initialized");
        }
        return m_handle;
    }

    explicit operator bool() const noexcept { return m_handle != nullptr; }

private:
    // Closing often happens while an exception leaves an operation, and callers up the stack read the
    // last error of the call that failed: the close must not overwrite it.
    void Close() noexcept
    {
        if (m_handle != nullptr)
        {
            const DWORD lastError = GetLastError();
            CloseServiceHandle(m_handle);
            SetLastError(lastError);
            m_handle = nullptr;
        }
    }

    SC_HANDLE m_handle = nullptr;
};
} // namespace Quelvo
