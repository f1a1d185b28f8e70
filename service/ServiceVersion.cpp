// The file version of the executable that runs a service.
#include "base/Format.h"
#include "base/TextConversion.h"
#include "base/Win32Error.h"
#include "process/ProcessHelper.h"
#include "service/ExecutablePath.h"
#include "service/OpenServiceHandle.h"
#include "service/WindowsServiceManager.h"

#include <filesystem>
#include <vector>

namespace Quelvo
{
FileVersion WindowsServiceManager::GetServiceVersion(const std::wstring& name)
{
    if (IsRunning(name))
    {
        SERVICE_STATUS_PROCESS status{};
        QueryStatus(name, status);
        if (status.dwProcessId != 0)
        {
            return VersionOfFile(m_processHelper->GetProcessImagePath(status.dwProcessId));
        }
    }
    return VersionFromConfig(name);
}

FileVersion WindowsServiceManager::VersionOfFile(const std::wstring& path)
{
    FileVersion version;
    m_osInfo->GetFileVersion(Utf8FromPath(path), version.major, version.minor, version.build,
                             version.revision);
    return version;
}

FileVersion WindowsServiceManager::VersionFromConfig(const std::wstring& name)
{
    const ScHandle service = OpenServiceHandle(name, SERVICE_QUERY_CONFIG);
    DWORD needed = 0;
    if (QueryServiceConfigW(service.Get(), nullptr, 0, &needed))
    {
        throw ServiceError("QueryServiceConfigW should have failed for zero size");
    }
    if (const DWORD code = GetLastError(); code != ERROR_INSUFFICIENT_BUFFER)
    {
        ThrowWin32Error(code, "Failed to query service config buffer size");
    }
    std::vector<BYTE> buffer(needed);
    auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGW>(buffer.data());
    if (!QueryServiceConfigW(service.Get(), config, needed, &needed))
    {
        ThrowLastError("Failed to query service config");
    }

    const std::wstring exePath =
        ExecutablePathFromCommandLine(config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : L"");
    if (exePath.empty())
    {
        throw ServiceError("Cannot retrieve the version for a service that is has no binary path. ");
    }
    const std::filesystem::path executable(exePath);
    if (!std::filesystem::exists(executable) || std::filesystem::is_directory(executable))
    {
        throw std::filesystem::filesystem_error("Can't find executable path", executable,
                                                std::filesystem::path(Utf8FromUtf16(exePath)),
                                                Win32ErrorCode(ERROR_FILE_NOT_FOUND));
    }
    if (executable.compare(std::filesystem::path(GetModulePath(nullptr))) == 0)
    {
        throw ServiceError("Cannot retrieve the version for a service that is not running and has the "
                           "current module path. ");
    }
    return VersionOfFile(exePath);
}
} // namespace Quelvo
