// The simulated file system as far as paths go: files that exist, and scripted short (8.3) names.
// A path also exists when the host file system has it, so that tests may use real temporary files.
#include "Internal.h"

#include <filesystem>
#include <map>
#include <set>

namespace
{
using winsim::detail::LowerAscii;

struct FileSystem
{
    std::set<std::wstring> files;
    std::map<std::wstring, std::wstring> shortNames;
};

FileSystem& TheFileSystem()
{
    static FileSystem fileSystem;
    return fileSystem;
}

bool HostPathExists(const std::wstring& path)
{
    std::string narrow;
    for (const wchar_t unit : path)
    {
        if (unit >= 0x80)
        {
            return false; // the host is asked only about plain ASCII paths
        }
        narrow.push_back(static_cast<char>(unit));
    }
    std::error_code error;
    return !narrow.empty() && std::filesystem::exists(narrow, error);
}
} // namespace

namespace winsim
{
void AddFile(const std::wstring& path)
{
    std::lock_guard guard(detail::MachineLock());
    TheFileSystem().files.insert(LowerAscii(path));
}

void AddShortName(const std::wstring& longPath, const std::wstring& shortPath)
{
    std::lock_guard guard(detail::MachineLock());
    TheFileSystem().files.insert(LowerAscii(longPath));
    TheFileSystem().shortNames[LowerAscii(longPath)] = shortPath;
}
} // namespace winsim

namespace winsim::detail
{
void ResetFileSystem()
{
    TheFileSystem() = FileSystem{};
}

bool FileExists(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    return TheFileSystem().files.count(LowerAscii(path)) != 0 || HostPathExists(path);
}
} // namespace winsim::detail

DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD bufferLength)
{
    using namespace winsim::detail;
    if (const auto fault = Enter("GetShortPathNameW"))
    {
        SetLastError(*fault);
        return 0;
    }
    if (longPath == nullptr || (shortPath == nullptr && bufferLength != 0))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring path(longPath);
    std::wstring result;
    {
        std::lock_guard guard(MachineLock());
        auto& fileSystem = TheFileSystem();
        const auto it = fileSystem.shortNames.find(LowerAscii(path));
        if (it != fileSystem.shortNames.end())
        {
            result = it->second;
        }
        else if (FileExists(path))
        {
            result = path; // a volume without short names keeps the long form
        }
        else
        {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
    }
    if (bufferLength < result.size() + 1)
    {
        return static_cast<DWORD>(result.size() + 1);
    }
    result.copy(shortPath, result.size());
    shortPath[result.size()] = L'\0';
    return static_cast<DWORD>(result.size());
}
