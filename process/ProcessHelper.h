// The Win32 implementation of IProcessHelper; it has no state.
#pragma once

#include "process/IProcessHelper.h"

namespace Quelvo
{
class ProcessHelper : public IProcessHelper
{
public:
    ~ProcessHelper() override = default;

    bool AdjustPrivileges(const std::vector<std::wstring>& privilegeNames, std::uint32_t attributes) override;
    std::uint32_t StartProcess(const std::wstring& path, const std::wstring& arguments,
                               std::uint32_t creationFlags) override;
    std::uint32_t StartProcessAndWait(const std::wstring& path, const std::wstring& arguments,
                                      std::uint32_t creationFlags,
                                      const std::chrono::seconds& timeout) override;
    std::uint32_t KillProcess(std::uint32_t processId, std::uint32_t timeoutMs) override;
    std::wstring GetProcessImagePath(std::uint32_t processId) override;
    std::shared_ptr<WinHandle> OpenProcessHandle(std::uint32_t desiredAccess, bool inheritHandle,
                                                 std::uint32_t processId) override;
};

// A path as UTF-8 for messages; falls back to its short form when the path is not valid UTF-16.
std::string Utf8FromPath(const std::wstring& path);

// Full file path of a loaded module; null means the executable of the running process.
std::wstring GetModulePath(HMODULE module);
} // namespace Quelvo
