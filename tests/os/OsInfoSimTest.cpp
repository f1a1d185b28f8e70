#include "os/OsInfoImpl.h"

#include "base/TextConversion.h"

#include "support/Caught.h"

#include <SimTest.h>
#include <winsim/Modules.h>
#include <winsim/System.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Quelvo;

namespace
{
const wchar_t* const versionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct System
{
    const char* name;
    DWORD major;
    DWORD minor;
    DWORD build;
    BYTE productType;
    const wchar_t* edition;
};

class OsInfoSimTest : public winsim::testing::SimTest
{
protected:
    static void Install(const System& system)
    {
        winsim::OsVersion version;
        version.major = system.major;
        version.minor = system.minor;
        version.build = system.build;
        version.productType = system.productType;
        winsim::SetOsVersion(version);
        winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", system.edition);
    }

    OsInfoImpl os;
};

TEST_F(OsInfoSimTest, VersionQueriesOfEachSystem)
{
    struct Expected
    {
        System system;
        bool w7, w8, w81, w10, isW7, isW8, isW81, server, s2016, s2012r2, s2012, s2008r2, b16241, b18317,
            b26100;
    };
    const std::vector<Expected> table = {
        {{"7", 6, 1, 7601, VER_NT_WORKSTATION, L"Professional"}, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {{"2008 R2", 6, 1, 7601, VER_NT_SERVER, L"ServerStandard"},
         1,
         0,
         0,
         0,
         1,
         0,
         0,
         1,
         0,
         0,
         0,
         1,
         0,
         0,
         0},
        {{"8", 6, 2, 9200, VER_NT_WORKSTATION, L"Core"}, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {{"2012", 6, 2, 9200, VER_NT_SERVER, L"ServerDatacenter"},
         1,
         1,
         0,
         0,
         0,
         1,
         0,
         1,
         0,
         0,
         1,
         0,
         0,
         0,
         0},
        {{"8.1", 6, 3, 9600, VER_NT_WORKSTATION, L"Professional"},
         1,
         1,
         1,
         0,
         0,
         0,
         1,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0},
        {{"2012 R2", 6, 3, 9600, VER_NT_DOMAIN_CONTROLLER, L"ServerStandard"},
         1,
         1,
         1,
         0,
         0,
         0,
         1,
         1,
         0,
         1,
         0,
         0,
         0,
         0,
         0},
        {{"10 1607", 10, 0, 14393, VER_NT_WORKSTATION, L"Enterprise"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0},
        {{"10 22H2", 10, 0, 19045, VER_NT_WORKSTATION, L"Professional"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         1,
         1,
         0},
        {{"2016", 10, 0, 14393, VER_NT_SERVER, L"ServerStandard"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         1,
         1,
         0,
         0,
         0,
         0,
         0,
         0},
        {{"multi-session", 10, 0, 19045, VER_NT_SERVER, L"serverrdsh"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         1,
         1,
         0},
        {{"11 24H2", 10, 0, 26100, VER_NT_WORKSTATION, L"Professional"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         1,
         1,
         1},
        {{"2025", 10, 0, 26100, VER_NT_SERVER, L"ServerDatacenter"},
         1,
         1,
         1,
         1,
         0,
         0,
         0,
         1,
         1,
         0,
         0,
         0,
         1,
         1,
         1},
    };
    for (const auto& row : table)
    {
        winsim::Reset();
        Install(row.system);
        SCOPED_TRACE(row.system.name);
        EXPECT_EQ(row.w7, os.IsWindows7OrGreater());
        EXPECT_EQ(row.w8, os.IsWindows8OrGreater());
        EXPECT_EQ(row.w81, os.IsWindows8Point1OrGreater());
        EXPECT_EQ(row.w10, os.IsWindows10OrGreater());
        EXPECT_EQ(row.w10, os.IsWindows10());
        EXPECT_EQ(row.isW7, os.IsWindows7());
        EXPECT_EQ(row.isW8, os.IsWindows8());
        EXPECT_EQ(row.isW81, os.IsWindows8Point1());
        EXPECT_EQ(row.server, os.IsServer());
        EXPECT_EQ(!row.server, os.IsClient());
        EXPECT_EQ(row.s2016, os.IsServer2016OrGreater());
        EXPECT_EQ(row.s2012r2, os.IsServer2012R2());
        EXPECT_EQ(row.s2012, os.IsServer2012());
        EXPECT_EQ(row.s2008r2, os.IsServer2008R2());
        EXPECT_EQ(row.b16241, os.IsBuild16241OrGreater());
        EXPECT_EQ(row.b16241, os.IsBuild16353OrGreater());
        EXPECT_EQ(row.b18317, os.IsBuild18317OrGreater());
        EXPECT_EQ(row.b26100, os.IsBuild26100OrGreater());
        EXPECT_EQ(std::to_string(row.system.major) + "." + std::to_string(row.system.minor) + "." +
                      std::to_string(row.system.build),
                  os.GetOsVersionString());
    }
}

// Each build threshold lies exactly at its build, with a build between each pair of thresholds.
TEST_F(OsInfoSimTest, BuildThresholdsLieExactlyAtTheirBuilds)
{
    struct Row
    {
        DWORD build;
        bool b16241, b16353, b18317, b26100;
    };
    const std::vector<Row> rows = {
        {16240, 0, 0, 0, 0}, {16241, 1, 0, 0, 0}, {16352, 1, 0, 0, 0}, {16353, 1, 1, 0, 0},
        {18316, 1, 1, 0, 0}, {18317, 1, 1, 1, 0}, {26099, 1, 1, 1, 0}, {26100, 1, 1, 1, 1},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.build);
        winsim::Reset();
        Install({"10", 10, 0, row.build, VER_NT_WORKSTATION, L"Professional"});
        EXPECT_EQ(row.b16241, os.IsBuild16241OrGreater());
        EXPECT_EQ(row.b16353, os.IsBuild16353OrGreater());
        EXPECT_EQ(row.b18317, os.IsBuild18317OrGreater());
        EXPECT_EQ(row.b26100, os.IsBuild26100OrGreater());
    }
}

TEST_F(OsInfoSimTest, ServicePackCountsInTheVersionComparison)
{
    winsim::OsVersion version;
    version.major = 6;
    version.minor = 1;
    version.build = 7601;
    version.servicePackMajor = 1;
    winsim::SetOsVersion(version);
    EXPECT_TRUE(os.IsOsVersionOrGreater(6, 1, 1));
    EXPECT_FALSE(os.IsOsVersionOrGreater(6, 1, 2));
    EXPECT_TRUE(os.IsOsVersionOrGreater(6, 0, 5)); // a higher minor version outweighs the service pack
    EXPECT_FALSE(os.IsOsVersionOrGreater(7, 0, 0));
}

TEST_F(OsInfoSimTest, GetOsVersionUsesRtlGetVersionAndFallsBackToGetVersionEx)
{
    OSVERSIONINFOEXW version = os.GetOsVersion();
    EXPECT_EQ(sizeof(OSVERSIONINFOEXW), version.dwOSVersionInfoSize);
    EXPECT_EQ(19045u, version.dwBuildNumber);
    EXPECT_EQ(VER_NT_WORKSTATION, version.wProductType);
    EXPECT_EQ(1u, winsim::CallCount("RtlGetVersion"));
    EXPECT_EQ(0u, winsim::CallCount("GetVersionExW"));

    winsim::RemoveSystemModule(L"ntdll.dll");
    version = os.GetOsVersion();
    EXPECT_EQ(10u, version.dwMajorVersion);
    EXPECT_EQ(1u, winsim::CallCount("GetVersionExW"));
}

TEST_F(OsInfoSimTest, ArchitectureOfSystemAndProcess)
{
    struct Case
    {
        WORD native;
        WORD process;
        bool modern;
        OsArchitecture os;
        OsArchitecture seen;
    };
    const std::vector<Case> cases = {
        {PROCESSOR_ARCHITECTURE_AMD64, PROCESSOR_ARCHITECTURE_AMD64, true, OsArchitecture::X64,
         OsArchitecture::X64},
        {PROCESSOR_ARCHITECTURE_AMD64, PROCESSOR_ARCHITECTURE_INTEL, true, OsArchitecture::X64,
         OsArchitecture::X86},
        {PROCESSOR_ARCHITECTURE_AMD64, PROCESSOR_ARCHITECTURE_INTEL, false, OsArchitecture::X64,
         OsArchitecture::X86},
        {PROCESSOR_ARCHITECTURE_INTEL, PROCESSOR_ARCHITECTURE_INTEL, false, OsArchitecture::X86,
         OsArchitecture::X86},
        {PROCESSOR_ARCHITECTURE_INTEL, PROCESSOR_ARCHITECTURE_INTEL, true, OsArchitecture::X86,
         OsArchitecture::X86},
        {PROCESSOR_ARCHITECTURE_ARM64, PROCESSOR_ARCHITECTURE_AMD64, true, OsArchitecture::Arm64,
         OsArchitecture::X64},
        {PROCESSOR_ARCHITECTURE_ARM64, PROCESSOR_ARCHITECTURE_ARM64, true, OsArchitecture::Arm64,
         OsArchitecture::Arm64},
    };
    for (const auto& c : cases)
    {
        winsim::Reset();
        winsim::SetArchitecture(c.native, c.process);
        if (!c.modern)
        {
            Install({"8.1", 6, 3, 9600, VER_NT_WORKSTATION, L"Core"});
        }
        EXPECT_EQ(c.os, os.GetOsArchitecture()) << c.native << "/" << c.process;
        EXPECT_EQ(c.seen, os.GetProcessArchitecture());
        const bool is64 = c.os != OsArchitecture::X86;
        EXPECT_EQ(is64, os.Is64BitOs());
        EXPECT_EQ(!is64, os.Is32BitOs());
        EXPECT_EQ(c.modern ? 0u : 1u, winsim::CallCount("GetNativeSystemInfo") > 0 ? 1u : 0u);
    }
}

TEST_F(OsInfoSimTest, ArchitectureFailures)
{
    winsim::SetNativeMachine(IMAGE_FILE_MACHINE_ARMNT);
    try
    {
        os.GetOsArchitecture();
        ADD_FAILURE();
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ("Unsupported operating system architecture: 452", error.what());
    }

    winsim::FailNext("IsWow64Process2", ERROR_ACCESS_DENIED);
    auto error = Testing::CaughtSystemError([&] { os.GetOsArchitecture(); });
    EXPECT_EQ(ERROR_ACCESS_DENIED, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to get native machine."));

    winsim::RemoveIsWow64Process2();
    error = Testing::CaughtSystemError([&] { os.Is64BitOs(); });
    EXPECT_EQ(ERROR_PROC_NOT_FOUND, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to get function pointer to IsWow64Process2"));

    winsim::RemoveSystemModule(L"kernel32.dll");
    error = Testing::CaughtSystemError([&] { os.GetOsArchitecture(); });
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to load kernel32.dll."));

    winsim::SetArchitecture(PROCESSOR_ARCHITECTURE_IA64, PROCESSOR_ARCHITECTURE_ARM);
    Install({"8.1", 6, 3, 9600, VER_NT_WORKSTATION, L"Core"});
    EXPECT_THROW(
        {
            try
            {
                os.GetOsArchitecture();
            }
            catch (const std::runtime_error& e)
            {
                EXPECT_STREQ("Unsupported operating system architecture: 6", e.what());
                throw;
            }
        },
        std::runtime_error);
    try
    {
        os.GetProcessArchitecture();
        ADD_FAILURE();
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ("Unsupported process architecture: 5", e.what());
    }
}

TEST_F(OsInfoSimTest, SystemDirectories)
{
    EXPECT_EQ(L"C:\\Windows\\system32", os.GetSystemDirectoryPath());
    EXPECT_EQ(L"C:\\Windows\\SysWOW64", os.GetSystemWow64DirectoryPath());
    const std::wstring longDirectory = L"D:\\" + std::wstring(300, L'w');
    winsim::SetSystemDirectory(longDirectory);
    EXPECT_EQ(longDirectory, os.GetSystemDirectoryPath());

    winsim::SetSystemWow64Directory(L"");
    auto error = Testing::CaughtSystemError([&] { os.GetSystemWow64DirectoryPath(); });
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Can't get systemwow64 directory size."));

    winsim::FailNth("GetSystemDirectoryW", 2, ERROR_GEN_FAILURE);
    error = Testing::CaughtSystemError([&] { os.GetSystemDirectoryPath(); });
    EXPECT_EQ(ERROR_GEN_FAILURE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Can't get system directory."));
    winsim::FailNext("GetSystemDirectoryW", ERROR_GEN_FAILURE);
    EXPECT_THAT(Testing::CaughtSystemError([&] { os.GetSystemDirectoryPath(); }).what(),
                testing::StartsWith("Can't get system directory size."));
    // A directory that grows between the size query and the read: the buffer has one character to
    // spare; beyond that the second call reports the size it needs, which is a failure, not a length.
    const std::wstring system32 = L"C:\\Windows\\system32";
    for (const std::size_t grownBy : {1u, 2u, 300u})
    {
        SCOPED_TRACE(grownBy);
        winsim::SetSystemDirectory(system32);
        const std::wstring grown = system32 + std::wstring(grownBy, L'x');
        winsim::BeforeCall("GetSystemDirectoryW", 2, [&grown] { winsim::SetSystemDirectory(grown); });
        if (grownBy == 1)
        {
            EXPECT_EQ(grown, os.GetSystemDirectoryPath());
            continue;
        }
        error = Testing::CaughtSystemError([&] { os.GetSystemDirectoryPath(); });
        EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, error.code().value());
        EXPECT_THAT(error.what(), testing::StartsWith("Can't get system directory."));
    }
    winsim::SetSystemWow64Directory(L"C:\\Windows\\SysWOW64");
    winsim::FailNth("GetSystemWow64DirectoryW", 2, ERROR_GEN_FAILURE);
    EXPECT_THAT(Testing::CaughtSystemError([&] { os.GetSystemWow64DirectoryPath(); }).what(),
                testing::StartsWith("Can't get systemwow64 directory."));
}

TEST_F(OsInfoSimTest, CommonAppDataDirectory)
{
    EXPECT_EQ("C:\\ProgramData", os.GetCommonAppDataDirectory());
    winsim::SetCommonAppDataDirectory(L"");
    EXPECT_EQ("", os.GetCommonAppDataDirectory());
}

TEST_F(OsInfoSimTest, EditionIsReadFromTheSixtyFourBitView)
{
    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", L"SERVERRDSH");
    EXPECT_TRUE(os.IsServerRdsh());
    EXPECT_EQ(static_cast<REGSAM>(0x20119), winsim::LastRegistryAccess());
    EXPECT_EQ(1u, winsim::CallCount("RegGetValueW"));

    // 63 characters and the NUL fill the first buffer; 64 need the second call.
    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", std::wstring(63, L'E'));
    EXPECT_FALSE(os.IsServerRdsh());
    EXPECT_EQ(2u, winsim::CallCount("RegGetValueW"));
    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", std::wstring(64, L'E'));
    EXPECT_FALSE(os.IsServerRdsh());
    EXPECT_EQ(4u, winsim::CallCount("RegGetValueW"));
}

TEST_F(OsInfoSimTest, EditionOfTheSameLengthButOtherLettersIsNotRdsh)
{
    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", L"ServerRdsX");
    EXPECT_FALSE(os.IsServerRdsh());
    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", L"serverrdsh");
    EXPECT_TRUE(os.IsServerRdsh());
}

TEST_F(OsInfoSimTest, EditionFailuresOnAServer)
{
    Install({"2019", 10, 0, 17763, VER_NT_SERVER, L"ServerStandard"});
    winsim::RemoveRegistryValue(HKEY_LOCAL_MACHINE, versionKey, L"EditionID");
    auto error = Testing::CaughtSystemError([&] { os.IsServer(); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to read registry value"));

    winsim::RemoveRegistryKey(HKEY_LOCAL_MACHINE, versionKey);
    error = Testing::CaughtSystemError([&] { os.IsClient(); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to open registry key"));

    winsim::SetRegistryString(HKEY_LOCAL_MACHINE, versionKey, L"EditionID", L"ServerStandard");
    winsim::FailNth("RegGetValueW", 1, ERROR_MORE_DATA);
    winsim::FailNth("RegGetValueW", 1, ERROR_MORE_DATA); // the second call of the first query
    error = Testing::CaughtSystemError([&] { os.IsServer2016OrGreater(); });
    EXPECT_EQ(ERROR_MORE_DATA, error.code().value());

    winsim::SetOsVersion({});
    EXPECT_FALSE(os.IsServer()); // a workstation never reads the edition
    EXPECT_EQ(0u, winsim::OpenHandleCount());
}

TEST_F(OsInfoSimTest, FileVersions)
{
    std::uint32_t major = 0, minor = 0, build = 0, revision = 0;
    winsim::AddVersionedFile(L"C:\\svc\\service.exe", 1, 2, 3, 4);
    os.GetFileVersion("C:\\svc\\service.exe", major, minor, build, revision);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3, 4}),
              (std::vector<std::uint32_t>{major, minor, build, revision}));
    winsim::AddVersionedFile(L"C:\\svc\\\u00FC.exe", 65535, 0, 65534, 1);
    os.GetFileVersion("C:\\svc\\\xC3\xBC.exe", major, minor, build, revision);
    EXPECT_EQ((std::vector<std::uint32_t>{65535, 0, 65534, 1}),
              (std::vector<std::uint32_t>{major, minor, build, revision}));

    winsim::AddFile(L"C:\\svc\\plain.exe");
    auto error = Testing::CaughtSystemError(
        [&] { os.GetFileVersion("C:\\svc\\plain.exe", major, minor, build, revision); });
    EXPECT_EQ(ERROR_RESOURCE_TYPE_NOT_FOUND, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("GetFileVersionInfo failed"));
    error = Testing::CaughtSystemError(
        [&] { os.GetFileVersion("C:\\svc\\missing.exe", major, minor, build, revision); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());

    winsim::AddVersionedFile(L"C:\\svc\\nofixed.exe", 1, 0, 0, 0, false);
    error = Testing::CaughtSystemError(
        [&] { os.GetFileVersion("C:\\svc\\nofixed.exe", major, minor, build, revision); });
    EXPECT_THAT(error.what(), testing::StartsWith("VerQueryValueW failed"));
    winsim::FailNext("VerQueryValueW", ERROR_GEN_FAILURE);
    error = Testing::CaughtSystemError(
        [&] { os.GetFileVersion("C:\\svc\\service.exe", major, minor, build, revision); });
    EXPECT_EQ(ERROR_GEN_FAILURE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("VerQueryValueW failed"));
}

// Answers the version queries from a script and records which slots the composite queries call.
class ScriptedOsInfo : public OsInfoImpl
{
public:
    mutable std::vector<std::string> calls;
    bool w7 = false, w8 = false, w81 = false, w10 = false, server = false, rdsh = false;
    OsArchitecture architecture = OsArchitecture::X64;
    DWORD major = 10, build = 19045;

    bool IsWindows7OrGreater() const override { return Record("7", w7); }
    bool IsWindows8OrGreater() const override { return Record("8", w8); }
    bool IsWindows8Point1OrGreater() const override { return Record("8.1", w81); }
    bool IsWindows10OrGreater() const override { return Record("10", w10); }
    bool IsServer() const override
    {
        calls.push_back("IsServer");
        return OsInfoImpl::IsServer();
    }
    bool IsServerRdsh() const override { return Record("Rdsh", rdsh); }
    OsArchitecture GetOsArchitecture() const override
    {
        calls.push_back("Arch");
        return architecture;
    }
    OSVERSIONINFOEXW GetOsVersion() const override
    {
        calls.push_back("Version");
        OSVERSIONINFOEXW version{};
        version.dwMajorVersion = major;
        version.dwBuildNumber = build;
        return version;
    }

private:
    bool Record(const char* name, bool result) const
    {
        calls.push_back(name);
        return result;
    }
};

using Calls = std::vector<std::string>;

TEST_F(OsInfoSimTest, CompositeQueriesCallThroughTheInterfaceAndStopEarly)
{
    ScriptedOsInfo scripted;
    const auto run = [&](auto query)
    {
        scripted.calls.clear();
        (scripted.*query)();
        return scripted.calls;
    };
    EXPECT_EQ(Calls({"7"}), run(&IOsInfo::IsWindows7));
    EXPECT_EQ(Calls({"8"}), run(&IOsInfo::IsWindows8));
    EXPECT_EQ(Calls({"8.1"}), run(&IOsInfo::IsWindows8Point1));
    EXPECT_EQ(Calls({"10"}), run(&IOsInfo::IsWindows10));
    EXPECT_EQ(Calls({"10"}), run(&IOsInfo::IsServer2016OrGreater));
    EXPECT_EQ(Calls({"8.1"}), run(&IOsInfo::IsServer2012R2));
    EXPECT_EQ(Calls({"8"}), run(&IOsInfo::IsServer2012));
    EXPECT_EQ(Calls({"7"}), run(&IOsInfo::IsServer2008R2));
    EXPECT_EQ(Calls({"10"}), run(&IOsInfo::IsBuild16241OrGreater));
    EXPECT_EQ(Calls({"Version"}), run(&IOsInfo::IsBuild26100OrGreater));
    EXPECT_EQ(Calls({"Version"}), run(&IOsInfo::GetOsVersionString));
    EXPECT_EQ(Calls({"Arch"}), run(&IOsInfo::Is64BitOs));
    EXPECT_EQ(Calls({"Arch"}), run(&IOsInfo::Is32BitOs));

    scripted.w7 = scripted.w8 = scripted.w81 = scripted.w10 = true;
    EXPECT_EQ(Calls({"7", "8"}), run(&IOsInfo::IsWindows7));
    EXPECT_EQ(Calls({"8", "8.1"}), run(&IOsInfo::IsWindows8));
    EXPECT_EQ(Calls({"8.1", "10"}), run(&IOsInfo::IsWindows8Point1));
    EXPECT_EQ(Calls({"10", "IsServer"}), run(&IOsInfo::IsServer2016OrGreater));
    EXPECT_EQ(Calls({"8.1", "10"}), run(&IOsInfo::IsServer2012R2));
    EXPECT_EQ(Calls({"8", "8.1"}), run(&IOsInfo::IsServer2012));
    EXPECT_EQ(Calls({"7", "8"}), run(&IOsInfo::IsServer2008R2));
    EXPECT_EQ(Calls({"10", "Version"}), run(&IOsInfo::IsBuild18317OrGreater));
    EXPECT_EQ(Calls({"IsServer"}), run(&IOsInfo::IsClient));

    scripted.w10 = false;
    EXPECT_EQ(Calls({"8.1", "10", "IsServer"}), run(&IOsInfo::IsServer2012R2));
    scripted.w81 = false;
    EXPECT_EQ(Calls({"8", "8.1", "IsServer"}), run(&IOsInfo::IsServer2012));
    scripted.w8 = false;
    EXPECT_EQ(Calls({"7", "8", "IsServer"}), run(&IOsInfo::IsServer2008R2));

    // A server product asks for the edition; a workstation does not.
    winsim::SetOsVersion({10, 0, 17763, 0, 0, VER_NT_SERVER});
    EXPECT_EQ(Calls({"IsServer", "Rdsh"}), run(&IOsInfo::IsClient));
    scripted.rdsh = true;
    EXPECT_FALSE(scripted.IsServer());

    // Windows 10 before 1709 counts as having the build; another major version always does.
    scripted.w10 = true;
    scripted.build = 16240;
    EXPECT_FALSE(scripted.IsBuild16241OrGreater());
    scripted.major = 11;
    EXPECT_TRUE(scripted.IsBuild16241OrGreater());
    scripted.architecture = OsArchitecture::Arm64;
    EXPECT_TRUE(scripted.Is64BitOs());
    scripted.architecture = OsArchitecture::X86;
    EXPECT_TRUE(scripted.Is32BitOs());
}
} // namespace
