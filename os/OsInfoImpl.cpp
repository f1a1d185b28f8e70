#include "os/OsInfoImpl.h"

#include "base/CheckedArithmetic.h"
#include "base/Format.h"
#include "base/ScopedRegKey.h"
#include "base/TextConversion.h"
#include "base/Win32Error.h"
#include "os/RegistryString.h"

#include <shlobj.h>

#include <stdexcept>
#include <vector>

namespace Quelvo
{
namespace
{
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

const char* const versionKeyName = R"(SOFTWARE\Microsoft\Windows NT\CurrentVersion)";
const DWORD versionKeyAccess = KEY_READ | KEY_WOW64_64KEY;

static_assert(sizeof(WCHAR) != 2 || sizeof(OSVERSIONINFOEXW) == 284);

template <class Function>
Function ExportOf(HMODULE module, const char* name)
{
    const FARPROC function = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

OSVERSIONINFOEXW EmptyVersionRecord()
{
    OSVERSIONINFOEXW record{};
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    return record;
}

// The two-call protocol of the system directory functions: the needed size, then the text.
template <class Query>
std::wstring ReadSystemDirectory(Query query, const char* sizeMessage, const char* message)
{
    const UINT needed = query(nullptr, 0);
    if (needed == 0)
    {
        ThrowLastError(sizeMessage);
    }
    std::wstring path(CheckedAdd<UINT>(needed, 1), L'\0');
    const UINT length = query(path.data(), static_cast<UINT>(path.size()));
    if (length == 0)
    {
        ThrowLastError(message);
    }
    if (length >= path.size())
    {
        // The directory asks for a bigger buffer (it changed between the two calls): what it reports
        // was not written, and the buffer must not be read past its end.
        ThrowWin32Error(ERROR_INSUFFICIENT_BUFFER, message);
    }
    path.resize(length);
    return path;
}

bool EqualsIgnoringAsciiCase(const std::string& left, const std::string& right)
{
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (left.size() != right.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i)
    {
        if (lower(left[i]) != lower(right[i]))
        {
            return false;
        }
    }
    return true;
}

OsArchitecture ArchitectureOfProcessor(WORD architecture, const char* whose)
{
    switch (architecture)
    {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return OsArchitecture::X86;
    case PROCESSOR_ARCHITECTURE_AMD64:
        return OsArchitecture::X64;
    case PROCESSOR_ARCHITECTURE_ARM64:
        return OsArchitecture::Arm64;
    default:
        throw std::runtime_error(Format("Unsupported {} architecture: {}", whose, architecture));
    }
}

OsArchitecture ArchitectureOfMachine(USHORT machine)
{
    switch (machine)
    {
    case IMAGE_FILE_MACHINE_I386:
        return OsArchitecture::X86;
    case IMAGE_FILE_MACHINE_AMD64:
        return OsArchitecture::X64;
    case IMAGE_FILE_MACHINE_ARM64:
        return OsArchitecture::Arm64;
    default:
        throw std::runtime_error(Format("Unsupported operating system architecture: {}", machine));
    }
}
} // namespace

OSVERSIONINFOEXW OsInfoImpl::GetOsVersion() const
{
    OSVERSIONINFOEXW record = EmptyVersionRecord();
    auto* plain = reinterpret_cast<OSVERSIONINFOW*>(&record);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion =
        ntdll != nullptr ? ExportOf<RtlGetVersionFunction>(ntdll, "RtlGetVersion") : nullptr;
    if (rtlGetVersion != nullptr)
    {
        rtlGetVersion(plain);
    }
    else
    {
        // Only where ntdll has no RtlGetVersion. The SDK marks GetVersionExW deprecated (C4996, an error
        // under /WX and /sdl), as platform/windows/SdkRules.h does in the clang build; the call is meant.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
        GetVersionExW(plain);
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExW(plain);
#pragma GCC diagnostic pop
#endif
    }
    return record;
}

void OsInfoImpl::GetFileVersion(const std::string& path, std::uint32_t& major, std::uint32_t& minor,
                                std::uint32_t& build, std::uint32_t& revision) const
{
    const std::wstring widePath = Utf16FromUtf8(path);
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &unused);
    std::vector<BYTE> buffer(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, buffer.data()))
    {
        ThrowLastError("GetFileVersionInfo failed");
    }
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<LPVOID*>(&info), &length) || info == nullptr ||
        length == 0)
    {
        ThrowLastError("VerQueryValueW failed");
    }
    major = info->dwFileVersionMS >> 16;
    minor = info->dwFileVersionMS & 0xFFFF;
    build = info->dwFileVersionLS >> 16;
    revision = info->dwFileVersionLS & 0xFFFF;
}

std::string OsInfoImpl::GetOsVersionString() const
{
    const OSVERSIONINFOEXW version = GetOsVersion();
    return Format("{}.{}.{}", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
}

std::wstring OsInfoImpl::GetSystemDirectoryPath() const
{
    return ReadSystemDirectory([](LPWSTR buffer, UINT size) { return GetSystemDirectoryW(buffer, size); },
                               "Can't get system directory size.", "Can't get system directory.");
}

std::wstring OsInfoImpl::GetSystemWow64DirectoryPath() const
{
    return ReadSystemDirectory([](LPWSTR buffer, UINT size)
                               { return GetSystemWow64DirectoryW(buffer, size); },
                               "Can't get systemwow64 directory size.", "Can't get systemwow64 directory.");
}

std::string OsInfoImpl::GetCommonAppDataDirectory() const
{
    std::wstring buffer(MAX_PATH, L'\0');
    if (!SHGetSpecialFolderPathW(nullptr, buffer.data(), CSIDL_COMMON_APPDATA, FALSE))
    {
        return "";
    }
    return Utf8FromUtf16(buffer.substr(0, buffer.find(L'\0')));
}

bool OsInfoImpl::Is64BitOs() const
{
    // X64 (0) and Arm64 (2) are the values that become 0 when bit 1 is cleared.
    return (static_cast<int>(GetOsArchitecture()) & ~2) == 0;
}

bool OsInfoImpl::IsOsVersionOrGreater(std::uint16_t major, std::uint16_t minor,
                                      std::uint16_t servicePackMajor) const
{
    OSVERSIONINFOEXW wanted = EmptyVersionRecord();
    wanted.dwMajorVersion = major;
    wanted.dwMinorVersion = minor;
    wanted.wServicePackMajor = servicePackMajor;
    DWORDLONG conditions = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = VerSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              conditions) != FALSE;
}

bool OsInfoImpl::IsServer() const
{
    OSVERSIONINFOEXW workstation = EmptyVersionRecord();
    workstation.wProductType = VER_NT_WORKSTATION;
    const DWORDLONG conditions = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    if (VerifyVersionInfoW(&workstation, VER_PRODUCT_TYPE, conditions))
    {
        return false;
    }
    // A remote-desktop session host reports a server product type but is a client edition.
    return !IsServerRdsh();
}

bool OsInfoImpl::IsServerRdsh() const
{
    const std::wstring keyName = Utf16FromUtf8(versionKeyName);
    ScopedRegKey key;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, versionKeyAccess, key.Put());
    if (status != ERROR_SUCCESS)
    {
        ThrowWin32Error(static_cast<DWORD>(status), "Failed to open registry key");
    }
    return EqualsIgnoringAsciiCase(ReadRegistryString(key.Get(), "EditionID"), "ServerRdsh");
}

bool OsInfoImpl::IsClient() const
{
    return !IsServer();
}

bool OsInfoImpl::Is32BitOs() const
{
    return !Is64BitOs();
}

bool OsInfoImpl::IsWindows7OrGreater() const
{
    return IsOsVersionOrGreater(6, 1, 0);
}

bool OsInfoImpl::IsWindows8OrGreater() const
{
    return IsOsVersionOrGreater(6, 2, 0);
}

bool OsInfoImpl::IsWindows8Point1OrGreater() const
{
    return IsOsVersionOrGreater(6, 3, 0);
}

bool OsInfoImpl::IsWindows10OrGreater() const
{
    return IsOsVersionOrGreater(10, 0, 0);
}

bool OsInfoImpl::IsWindows10BuildOrGreater(std::uint32_t build) const
{
    if (!IsWindows10OrGreater())
    {
        return false;
    }
    const OSVERSIONINFOEXW version = GetOsVersion();
    return version.dwMajorVersion != 10 || version.dwBuildNumber >= build;
}

bool OsInfoImpl::IsBuild16241OrGreater() const
{
    return IsWindows10BuildOrGreater(16241);
}

bool OsInfoImpl::IsBuild16353OrGreater() const
{
    return IsWindows10BuildOrGreater(16353);
}

bool OsInfoImpl::IsBuild18317OrGreater() const
{
    return IsWindows10BuildOrGreater(18317);
}

bool OsInfoImpl::IsBuild26100OrGreater() const
{
    const OSVERSIONINFOEXW version = GetOsVersion();
    return version.dwMajorVersion >= 10 && version.dwBuildNumber >= 26100;
}

bool OsInfoImpl::IsWindows7() const
{
    return IsWindows7OrGreater() && !IsWindows8OrGreater();
}

bool OsInfoImpl::IsWindows8() const
{
    return IsWindows8OrGreater() && !IsWindows8Point1OrGreater();
}

bool OsInfoImpl::IsWindows8Point1() const
{
    return IsWindows8Point1OrGreater() && !IsWindows10OrGreater();
}

bool OsInfoImpl::IsWindows10() const
{
    return IsWindows10OrGreater();
}

bool OsInfoImpl::IsServer2016OrGreater() const
{
    return IsWindows10OrGreater() && IsServer();
}

bool OsInfoImpl::IsServer2012R2() const
{
    return IsWindows8Point1OrGreater() && !IsWindows10OrGreater() && IsServer();
}

bool OsInfoImpl::IsServer2012() const
{
    return IsWindows8OrGreater() && !IsWindows8Point1OrGreater() && IsServer();
}

bool OsInfoImpl::IsServer2008R2() const
{
    return IsWindows7OrGreater() && !IsWindows8OrGreater() && IsServer();
}

OsArchitecture OsInfoImpl::GetOsArchitecture() const
{
    if (IsBuild16241OrGreater())
    {
        const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        if (kernel32 == nullptr)
        {
            ThrowLastError("Failed to load kernel32.dll.");
        }
        const auto isWow64Process2 = ExportOf<IsWow64Process2Function>(kernel32, "IsWow64Process2");
        if (isWow64Process2 == nullptr)
        {
            ThrowLastError("Failed to get function pointer to IsWow64Process2");
        }
        USHORT processMachine = 0;
        USHORT nativeMachine = 0;
        if (!isWow64Process2(GetCurrentProcess(), &processMachine, &nativeMachine))
        {
            ThrowLastError("Failed to get native machine.");
        }
        return ArchitectureOfMachine(nativeMachine);
    }
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return ArchitectureOfProcessor(info.wProcessorArchitecture, "operating system");
}

OsArchitecture OsInfoImpl::GetProcessArchitecture() const
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return ArchitectureOfProcessor(info.wProcessorArchitecture, "process");
}
} // namespace Quelvo
