// Questions about the Windows installation the tool runs on. Slot order is part of the interface.
#pragma once

#include "os/OsArchitecture.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace Quelvo
{
class IOsInfo
{
public:
    virtual ~IOsInfo() = default;

    virtual OSVERSIONINFOEXW GetOsVersion() const = 0;
    virtual void GetFileVersion(const std::string& path, std::uint32_t& major, std::uint32_t& minor,
                                std::uint32_t& build, std::uint32_t& revision) const = 0;
    virtual std::string GetOsVersionString() const = 0;
    virtual std::wstring GetSystemDirectoryPath() const = 0;
    virtual std::wstring GetSystemWow64DirectoryPath() const = 0;
    virtual std::string GetCommonAppDataDirectory() const = 0;
    virtual bool Is64BitOs() const = 0;
    virtual bool IsOsVersionOrGreater(std::uint16_t major, std::uint16_t minor,
                                      std::uint16_t servicePackMajor) const = 0;
    virtual bool IsServer() const = 0;
    virtual bool IsServerRdsh() const = 0;
    virtual bool IsClient() const = 0;
    virtual bool Is32BitOs() const = 0;
    virtual bool IsWindows7OrGreater() const = 0;
    virtual bool IsWindows8OrGreater() const = 0;
    virtual bool IsWindows8Point1OrGreater() const = 0;
    virtual bool IsWindows10OrGreater() const = 0;
    virtual bool IsWindows10BuildOrGreater(std::uint32_t build) const = 0;
    virtual bool IsBuild16241OrGreater() const = 0;
    virtual bool IsBuild16353OrGreater() const = 0;
    virtual bool IsBuild18317OrGreater() const = 0;
    virtual bool IsBuild26100OrGreater() const = 0;
    virtual bool IsWindows7() const = 0;
    virtual bool IsWindows8() const = 0;
    virtual bool IsWindows8Point1() const = 0;
    virtual bool IsWindows10() const = 0;
    virtual bool IsServer2016OrGreater() const = 0;
    virtual bool IsServer2012R2() const = 0;
    virtual bool IsServer2012() const = 0;
    virtual bool IsServer2008R2() const = 0;
    virtual OsArchitecture GetOsArchitecture() const = 0;
    virtual OsArchitecture GetProcessArchitecture() const = 0;
};
} // namespace Quelvo
