#include "base/Format.h"
#include "base/TextConversion.h"
#include "os/OsInfoImpl.h"
#include "process/ProcessHelper.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Quelvo;

namespace
{
std::wstring TestDirectory()
{
    const auto own = GetModulePath(nullptr);
    return own.substr(0, own.find_last_of(L"\\/") + 1);
}

TEST(OsInfoWineTest, VersionQueriesAgreeWithEachOther)
{
    const OsInfoImpl os;
    const auto version = os.GetOsVersion();
    EXPECT_EQ(sizeof(OSVERSIONINFOEXW), version.dwOSVersionInfoSize);
    EXPECT_EQ(Format("{}.{}.{}", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber),
              os.GetOsVersionString());
    const bool atLeast10 = version.dwMajorVersion >= 10;
    EXPECT_EQ(atLeast10, os.IsWindows10OrGreater());
    EXPECT_EQ(atLeast10, os.IsWindows10());
    EXPECT_TRUE(os.IsWindows7OrGreater());
    EXPECT_EQ(os.IsWindows8OrGreater() && !os.IsWindows8Point1OrGreater(), os.IsWindows8());
    EXPECT_EQ(atLeast10 && version.dwBuildNumber >= 26100, os.IsBuild26100OrGreater());
    EXPECT_NE(os.IsClient(), os.IsServer());
    EXPECT_EQ(version.wProductType == VER_NT_WORKSTATION || os.IsServerRdsh(), os.IsClient());
    EXPECT_FALSE(os.IsOsVersionOrGreater(static_cast<std::uint16_t>(version.dwMajorVersion + 1), 0, 0));
    EXPECT_TRUE(os.IsOsVersionOrGreater(static_cast<std::uint16_t>(version.dwMajorVersion),
                                        static_cast<std::uint16_t>(version.dwMinorVersion), 0));
}

TEST(OsInfoWineTest, ArchitectureOfASixtyFourBitProcess)
{
    const OsInfoImpl os;
#if defined(__aarch64__) || defined(_M_ARM64)
    EXPECT_EQ(OsArchitecture::Arm64, os.GetProcessArchitecture());
#else
    EXPECT_EQ(OsArchitecture::X64, os.GetProcessArchitecture());
#endif
    EXPECT_TRUE(os.Is64BitOs());
    EXPECT_FALSE(os.Is32BitOs());
    EXPECT_NE(OsArchitecture::X86, os.GetOsArchitecture());
}

TEST(OsInfoWineTest, DirectoriesExist)
{
    const OsInfoImpl os;
    for (const auto& directory : {os.GetSystemDirectoryPath(), os.GetSystemWow64DirectoryPath(),
                                  Utf16FromUtf8(os.GetCommonAppDataDirectory())})
    {
        const DWORD attributes = GetFileAttributesW(directory.c_str());
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << Utf8FromUtf16(directory);
        EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(directory.size(), wcslen(directory.c_str())); // no trailing NUL kept
    }
}

TEST(OsInfoWineTest, FileVersionOfAProgramWithAndWithoutVersionResource)
{
    const OsInfoImpl os;
    std::uint32_t major = 0, minor = 0, build = 0, revision = 0;
    os.GetFileVersion(Utf8FromUtf16(TestDirectory() + L"test_child.exe"), major, minor, build, revision);
    EXPECT_EQ(1u, major);
    EXPECT_EQ(2u, minor);
    EXPECT_EQ(3u, build);
    EXPECT_EQ(4u, revision);

    DWORD unused = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, GetFileVersionInfoSizeW(GetModulePath(nullptr).c_str(), &unused));
    EXPECT_THAT(GetLastError(), testing::AnyOf(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND),
                                               static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND)));
    try
    {
        os.GetFileVersion(Utf8FromUtf16(GetModulePath(nullptr)), major, minor, build, revision);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        // The size query fails with 1813 (Wine: 1812 for a file with other resources). The zero-length
        // GetFileVersionInfoW call that follows sets its own code: ERROR_INVALID_DATA (13) under Wine.
        EXPECT_THAT(error.code().value(), testing::AnyOf(ERROR_RESOURCE_TYPE_NOT_FOUND,
                                                         ERROR_RESOURCE_DATA_NOT_FOUND, ERROR_INVALID_DATA));
        EXPECT_THAT(error.what(), testing::StartsWith("GetFileVersionInfo failed"));
    }
}
} // namespace
