// Reusable Win32 process and token operations.
#pragma once

#include "base/WinHandle.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Quelvo
{
class IProcessHelper
{
public:
    virtual ~IProcessHelper() = default;

    // Sets `attributes` on each named privilege of the own token; true when every one was changed.
    virtual bool AdjustPrivileges(const std::vector<std::wstring>& privilegeNames,
                                  std::uint32_t attributes) = 0;

    // Starts `path` with the command line `"<file name>" <arguments>`; returns the new process id.
    virtual std::uint32_t StartProcess(const std::wstring& path, const std::wstring& arguments,
                                       std::uint32_t creationFlags) = 0;

    // As StartProcess, then waits up to `timeout` for the process to end; returns its exit code.
    virtual std::uint32_t StartProcessAndWait(const std::wstring& path, const std::wstring& arguments,
                                              std::uint32_t creationFlags,
                                              const std::chrono::seconds& timeout) = 0;

    // Terminates the process and waits for it: 0 when it ended, WAIT_TIMEOUT (258) when it did not.
    virtual std::uint32_t KillProcess(std::uint32_t processId, std::uint32_t timeoutMs) = 0;

    // Full Win32 path of the process's executable.
    virtual std::wstring GetProcessImagePath(std::uint32_t processId) = 0;

    // The process opened with `desiredAccess`, or empty (the last error left for the caller).
    virtual std::shared_ptr<WinHandle> OpenProcessHandle(std::uint32_t desiredAccess, bool inheritHandle,
                                                         std::uint32_t processId) = 0;
};
} // namespace Quelvo
