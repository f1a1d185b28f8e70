// IOsInfo answered from Win32 calls and the registry. It keeps no state: every query asks afresh.
#pragma once

#include "os/IOsInfo.h"

namespace Quelvo
{
class OsInfoImpl : public IOsInfo
{
public:
    ~OsInfoImpl() override = default;

    OSVERSIONINFOEXW GetOsVersion() const override;
    void GetFileVersion(const std::string& path, std::uint32_t& major, std::uint32_t& minor,
                        std::uint32_t& build, std::uint32_t& revision) const override;
    std::string GetOsVersionString() const override;
    std::wstring GetSystemDirectoryPath() const override;
    std::wstring GetSystemWow64DirectoryPath() const override;
    std::string GetCommonAppDataDirectory() const override;
    bool Is64BitOs() const override;
    bool IsOsVersionOrGreater(std::uint16_t major, std::uint16_t minor,
                              std::uint16_t servicePackMajor) const override;
    bool IsServer() const override;
    bool IsServerRdsh() const override;
    bool IsClient() const override;
    bool Is32BitOs() const override;
    bool IsWindows7OrGreater() const override;
    bool IsWindows8OrGreater() const override;
    bool IsWindows8Point1OrGreater() const override;
    bool IsWindows10OrGreater() const override;
    bool IsWindows10BuildOrGreater(std::uint32_t build) const override;
    bool IsBuild16241OrGreater() const override;
    bool IsBuild16353OrGreater() const override;
    bool IsBuild18317OrGreater() const override;
    bool IsBuild26100OrGreater() const override;
    bool IsWindows7() const override;
    bool IsWindows8() const override;
    bool IsWindows8Point1() const override;
    bool IsWindows10() const override;
    bool IsServer2016OrGreater() const override;
    bool IsServer2012R2() const override;
    bool IsServer2012() const override;
    bool IsServer2008R2() const override;
    OsArchitecture GetOsArchitecture() const override;
    OsArchitecture GetProcessArchitecture() const override;
};
} // namespace Quelvo
