// Test control of the simulated system: version, architecture, directories, registry, file versions.
#pragma once

#include <windows.h>

#include <string>

namespace winsim
{
// What the version queries report (RtlGetVersion, GetVersionExW, VerifyVersionInfoW). After Reset:
// Windows 10 build 19045, workstation, no service pack.
struct OsVersion
{
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
    WORD servicePackMajor = 0;
    WORD servicePackMinor = 0;
    BYTE productType = VER_NT_WORKSTATION;
};
void SetOsVersion(const OsVersion& version);
OsVersion GetOsVersion();

// The processor architecture of the system and the one the process sees (PROCESSOR_ARCHITECTURE_*).
// They differ for an emulated process (a 32-bit process on 64-bit Windows: native AMD64, process INTEL).
// After Reset: both AMD64.
void SetArchitecture(WORD nativeArchitecture, WORD processArchitecture);
// The machine IsWow64Process2 reports as native, when it is not the one of the native architecture.
void SetNativeMachine(USHORT machine);
// Systems before Windows 10 1709 lack IsWow64Process2 in kernel32.dll.
void RemoveIsWow64Process2();

// System directories. An empty 32-bit system directory makes GetSystemWow64DirectoryW fail with
// ERROR_CALL_NOT_IMPLEMENTED, as on a 32-bit system. After Reset: C:\Windows\system32 and
// C:\Windows\SysWOW64.
void SetSystemDirectory(const std::wstring& path);
void SetSystemWow64Directory(const std::wstring& path);
// The all-users application-data folder (CSIDL_COMMON_APPDATA); empty: the shell does not provide it.
// After Reset: C:\ProgramData.
void SetCommonAppDataDirectory(const std::wstring& path);

// The registry. Keys are paths below a root ("SOFTWARE\Microsoft\Windows NT\CurrentVersion"), compared
// without regard to ASCII case. After Reset the version key holds EditionID "Professional".
void SetRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& name,
                       const std::wstring& value);
void SetRegistryDword(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD value);
void RemoveRegistryValue(HKEY root, const std::wstring& subKey, const std::wstring& name);
void RemoveRegistryKey(HKEY root, const std::wstring& subKey);
// The access mask of the last RegOpenKeyExW call.
REGSAM LastRegistryAccess();

// A file with a version resource: its fixed file information holds these version numbers. Without
// `fixedInfo` the resource has no root block, and VerQueryValueW finds nothing there.
void AddVersionedFile(const std::wstring& path, WORD major, WORD minor, WORD build, WORD revision,
                      bool fixedInfo = true);
} // namespace winsim
