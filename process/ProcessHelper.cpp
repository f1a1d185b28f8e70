#include "process/ProcessHelper.h"

#include "base/CheckedArithmetic.h"
#include "base/Format.h"
#include "base/PathConversion.h"
#include "base/Scoped.h"
#include "base/TextConversion.h"
#include "base/WaitMilliseconds.h"
#include "base/Win32Error.h"
#include "process/ModuleFileName.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

namespace Quelvo
{
namespace
{
const DWORD kInitialImagePathSize = MAX_PATH;
const DWORD kMaximumImagePathSize = 32767;
const DWORD kInitialModulePathSize = 32767;
const DWORD kKillAccess = PROCESS_TERMINATE | PROCESS_SET_INFORMATION | SYNCHRONIZE;
const DWORD kPrivilegeTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

static_assert(sizeof(WCHAR) != 2 || sizeof(void*) != 8 || sizeof(STARTUPINFOW) == 104);

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// Length of the root name of a Windows path: "C:" or the "\\server" of a network path.
std::size_t RootNameLength(const std::wstring& path)
{
    if (path.size() >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')))
    {
        return 2;
    }
    if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]))
    {
        std::size_t end = 2;
        while (end < path.size() && !IsSeparator(path[end]))
        {
            ++end;
        }
        return end;
    }
    return 0;
}

// The last component of a Windows path, after the last separator that follows the root name, in both
// builds alike (a Linux std::filesystem::path knows no backslash separator).
std::wstring FileNameOf(const std::wstring& path)
{
    const std::size_t root = RootNameLength(path);
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator < root)
    {
        return path.substr(root);
    }
    return path.substr(separator + 1);
}

// The program is started with its file name in quotes, then one space, then its arguments.
std::wstring CommandLineFor(const std::wstring& path, const std::wstring& arguments)
{
    return FormatWide(L"\"{}\" {}", FileNameOf(path), arguments);
}

bool CreateProcessFor(const std::wstring& path, const std::wstring& arguments, std::uint32_t creationFlags,
                      PROCESS_INFORMATION& processInformation)
{
    std::wstring commandLine = CommandLineFor(path, arguments);
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(STARTUPINFOW);
    processInformation = PROCESS_INFORMATION{};
    return CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          nullptr, &startupInfo, &processInformation) != FALSE;
}

// The code is read before the message is made: making it may call Windows itself.
[[noreturn]] void ThrowCreateFailed(const std::wstring& path)
{
    const DWORD error = GetLastError();
    ThrowWin32Error(error, Format("Can't create new process {}", Utf8FromPath(path)));
}

// The token holder runs this once, also when the token was never opened: there is nothing to close then.
void CloseTokenHandle(void*& token)
{
    if (token != nullptr)
    {
        CloseHandle(token);
    }
}

DWORD NextImagePathSize(DWORD size)
{
    if (size >= kMaximumImagePathSize)
    {
        ThrowWin32Error(ERROR_FILENAME_EXCED_RANGE, "Process path exceeds Windows maximum path length");
    }
    return size > kMaximumImagePathSize / 2 ? kMaximumImagePathSize : CheckedMul<DWORD>(size, 2);
}
} // namespace

bool ProcessHelper::AdjustPrivileges(const std::vector<std::wstring>& privilegeNames,
                                     std::uint32_t attributes)
{
    Scoped<void*> token(nullptr, &CloseTokenHandle);
    if (!OpenProcessToken(GetCurrentProcess(), kPrivilegeTokenAccess, &token.Get()))
    {
        ThrowLastError("OpenProcessToken failed");
    }
    bool allChanged = true;
    for (const auto& name : privilegeNames)
    {
        LUID luid{};
        if (!LookupPrivilegeValueW(nullptr, name.c_str(), &luid))
        {
            ThrowLastError("LookupPrivilegeValue failed");
        }
        TOKEN_PRIVILEGES newState{};
        newState.PrivilegeCount = 1;
        newState.Privileges[0].Luid = luid;
        newState.Privileges[0].Attributes = attributes;
        TOKEN_PRIVILEGES previousState{};
        DWORD returnedLength = 0;
        if (!AdjustTokenPrivileges(token.Get(), FALSE, &newState, sizeof(previousState), &previousState,
                                   &returnedLength))
        {
            ThrowLastError("AdjustTokenPrivileges failed");
        }
        // A successful call reports a privilege the token does not hold only through the last error.
        if (GetLastError() == ERROR_NOT_ALL_ASSIGNED)
        {
            ThrowWin32Error(ERROR_NOT_ALL_ASSIGNED, "The token does not have the specified privilege.");
        }
        if (previousState.PrivilegeCount == 0)
        {
            allChanged = false; // it already had these attributes
        }
    }
    return allChanged;
}

std::uint32_t ProcessHelper::StartProcess(const std::wstring& path, const std::wstring& arguments,
                                          std::uint32_t creationFlags)
{
    PROCESS_INFORMATION processInformation{};
    if (!CreateProcessFor(path, arguments, creationFlags, processInformation))
    {
        ThrowCreateFailed(path);
    }
    WinHandle process(processInformation.hProcess, &CloseKernelHandle);
    WinHandle thread(processInformation.hThread, &CloseKernelHandle);
    return processInformation.dwProcessId;
}

std::uint32_t ProcessHelper::StartProcessAndWait(const std::wstring& path, const std::wstring& arguments,
                                                 std::uint32_t creationFlags,
                                                 const std::chrono::seconds& timeout)
{
    PROCESS_INFORMATION processInformation{};
    const bool created = CreateProcessFor(path, arguments, creationFlags, processInformation);
    WinHandle process(processInformation.hProcess, &CloseKernelHandle);
    WinHandle thread(processInformation.hThread, &CloseKernelHandle);
    if (!created)
    {
        ThrowCreateFailed(path);
    }

    if (WaitForSingleObject(process.Get(), WaitMilliseconds(timeout)) != WAIT_OBJECT_0)
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("Can't wait of process ending {}", Utf8FromPath(path)));
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode))
    {
        const DWORD error = GetLastError();
        ThrowWin32Error(error, Format("Can't get exit code for process {}", Utf8FromPath(path)));
    }
    return exitCode;
}

std::uint32_t ProcessHelper::KillProcess(std::uint32_t processId, std::uint32_t timeoutMs)
{
    WinHandle process(OpenProcess(kKillAccess, FALSE, processId), &CloseKernelHandle);
    if (!process.IsValid() || !TerminateProcess(process.Get(), 0))
    {
        ThrowLastError("Can't kill process.");
    }
    switch (WaitForSingleObject(process.Get(), timeoutMs))
    {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_TIMEOUT:
        return WAIT_TIMEOUT;
    default:
        ThrowLastError("Can't kill process.");
    }
}

std::wstring ProcessHelper::GetProcessImagePath(std::uint32_t processId)
{
    // The limited right is all QueryFullProcessImageNameW needs, and all that a LocalSystem service's
    // process grants a caller below System integrity: its mandatory label forbids the reading rights.
    auto process = OpenProcessHandle(PROCESS_QUERY_LIMITED_INFORMATION, false, processId);
    if (!process)
    {
        ThrowLastError("Failed to open process for version query");
    }
    DWORD bufferSize = kInitialImagePathSize;
    std::wstring path;
    DWORD length = 0;
    for (;;)
    {
        path.assign(bufferSize, L'\0');
        length = bufferSize;
        if (QueryFullProcessImageNameW(process->Get(), 0, path.data(), &length))
        {
            break;
        }
        if (const DWORD error = GetLastError(); error != ERROR_INSUFFICIENT_BUFFER)
        {
            ThrowWin32Error(error, "Failed to get process image name");
        }
        bufferSize = NextImagePathSize(bufferSize);
    }
    path.resize(length);
    process.reset();
    return path;
}

std::shared_ptr<WinHandle> ProcessHelper::OpenProcessHandle(std::uint32_t desiredAccess, bool inheritHandle,
                                                            std::uint32_t processId)
{
    // The holder comes first: a failed allocation after the open would leave the handle to no one.
    auto process = std::make_shared<WinHandle>(nullptr, &CloseKernelHandle);
    *process->Put() = OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId);
    if (process->Get() == nullptr)
    {
        return nullptr; // the last error of OpenProcess stays for the caller
    }
    return process;
}

std::string Utf8FromPath(const std::wstring& path)
{
    try
    {
        return Utf8FromUtf16(path);
    }
    catch (const std::exception&)
    {
        return Utf8FromUtf16(GetShortPath(path));
    }
}

std::wstring GetModulePath(HMODULE module)
{
    // Twice the count the short buffer reported, in the signed 32-bit range.
    constexpr ModuleFileNameGrowth growth{
        kInitialModulePathSize,
        [](DWORD, DWORD count)
        { return static_cast<DWORD>(CheckedMul<std::int32_t>(static_cast<std::int32_t>(count), 2)); },
        std::numeric_limits<DWORD>::max()};
    ModuleFileNameRead read = ReadModuleFileName(module, growth);
    if (read.error != ERROR_SUCCESS)
    {
        throw std::filesystem::filesystem_error("Can't get full path", Win32ErrorCode(read.error));
    }
    read.buffer.resize(read.count);
    return std::move(read.buffer);
}
} // namespace Quelvo
