#include "ServiceSimFixture.h"

#include "service/WindowsServiceManager.h"

#include <winsim/Control.h>
#include <winsim/Processes.h>
#include <winsim/System.h>

#include <filesystem>
#include <fstream>

namespace Quelvo::testing
{
namespace
{
// The configuration's executable must exist on the host: std::filesystem looks at it.
class ServiceVersionSimTest : public ServiceSimTest
{
protected:
    void SetUp() override
    {
        ServiceSimTest::SetUp();
        m_folder = std::filesystem::temp_directory_path() /
                   ("service-version-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                    "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder / "with space");
        m_executable = (m_folder / "with space" / "demo_service.exe").wstring();
        std::ofstream(m_folder / "with space" / "demo_service.exe") << "MZ";
    }

    void TearDown() override
    {
        std::filesystem::remove_all(m_folder);
        ServiceSimTest::TearDown();
    }

    void InstallConfigured(const std::wstring& commandLine, DWORD state = SERVICE_STOPPED)
    {
        auto definition = Service(kPrimary, state);
        definition.commandLine = commandLine;
        winsim::InstallService(definition);
    }

    FileVersion Version() { return m_manager->GetServiceVersion(kPrimary); }

    std::filesystem::path m_folder;
    std::wstring m_executable;
    std::shared_ptr<IWindowsServiceManager> m_manager = std::make_shared<WindowsServiceManager>();
};

void ExpectVersion(const FileVersion& version, std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                   std::uint32_t revision)
{
    EXPECT_EQ(major, version.major);
    EXPECT_EQ(minor, version.minor);
    EXPECT_EQ(build, version.build);
    EXPECT_EQ(revision, version.revision);
}

TEST_F(ServiceVersionSimTest, RunningServiceUsesTheImageOfItsProcess)
{
    winsim::AddVersionedFile(kServiceImage, 1, 2, 3, 4);
    winsim::AddVersionedFile(m_executable, 9, 9, 9, 9);
    InstallConfigured(L"\"" + m_executable + L"\" --changed", SERVICE_RUNNING);
    ExpectVersion(Version(), 1, 2, 3, 4);
    EXPECT_EQ(0u, winsim::CallCount("QueryServiceConfigW"));
}

TEST_F(ServiceVersionSimTest, StoppedServiceUsesTheQuotedPathOfItsConfiguration)
{
    winsim::AddVersionedFile(m_executable, 5, 6, 7, 8);
    InstallConfigured(L"\"" + m_executable + L"\" --start-delay-ms 10");
    ExpectVersion(Version(), 5, 6, 7, 8);
    EXPECT_EQ(2u, winsim::CallCount("QueryServiceConfigW"));
}

TEST_F(ServiceVersionSimTest, RunningServiceWithoutAProcessIdFallsBackToTheConfiguration)
{
    winsim::AddVersionedFile(m_executable, 5, 6, 7, 8);
    auto definition = Service(kPrimary, SERVICE_RUNNING);
    definition.commandLine = L"\"" + m_executable + L"\"";
    definition.startsProcess = false;
    winsim::InstallService(definition);
    ExpectVersion(Version(), 5, 6, 7, 8);
}

TEST_F(ServiceVersionSimTest, VersionQueryErrorsPropagate)
{
    InstallConfigured(L"\"" + m_executable + L"\"");
    ExpectSystemError([&] { Version(); }, ERROR_RESOURCE_TYPE_NOT_FOUND, "GetFileVersionInfo failed");
    EXPECT_THROW(m_manager->GetServiceVersion(L"Missing"), WindowsServiceManager::ServiceDoesNotExist);
}

TEST_F(ServiceVersionSimTest, SizeProbeFailures)
{
    InstallConfigured(L"\"" + m_executable + L"\"");
    winsim::SetZeroSizeConfigQuerySucceeds(true);
    ExpectPlainError([&] { Version(); }, "QueryServiceConfigW should have failed for zero size");

    winsim::SetZeroSizeConfigQuerySucceeds(false);
    winsim::FailNext("QueryServiceConfigW", ERROR_ACCESS_DENIED);
    ExpectSystemError([&] { Version(); }, ERROR_ACCESS_DENIED, "Failed to query service config buffer size");

    winsim::FailNth("QueryServiceConfigW", 2, ERROR_NOT_ENOUGH_MEMORY);
    ExpectSystemError([&] { Version(); }, ERROR_NOT_ENOUGH_MEMORY, "Failed to query service config");
}

TEST_F(ServiceVersionSimTest, ConfigurationIsReadWithQueryConfigAccess)
{
    auto definition = Service(kPrimary);
    definition.grantedRights = SERVICE_QUERY_STATUS;
    winsim::InstallService(definition);
    ExpectSystemError([&] { Version(); }, ERROR_ACCESS_DENIED,
                      "Could not open service 'EndpointProtectionService'!");
}

TEST_F(ServiceVersionSimTest, EmptyBinaryPath)
{
    InstallConfigured(L"\"\" --run");
    ExpectPlainError([&] { Version(); },
                     "Cannot retrieve the version for a service that is has no binary path. ");
    InstallConfigured(L"");
    ExpectPlainError([&] { Version(); },
                     "Cannot retrieve the version for a service that is has no binary path. ");
}

void ExpectMissingExecutable(const std::function<void()>& call, const std::wstring& path)
{
    try
    {
        call();
        ADD_FAILURE() << "no exception";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_EQ(2, error.code().value());
        EXPECT_EQ(std::system_category(), error.code().category());
        EXPECT_NE(std::string::npos, std::string(error.what()).find("Can't find executable path"))
            << error.what();
        EXPECT_EQ(std::filesystem::path(path), error.path1());
        EXPECT_EQ(error.path1(), error.path2());
    }
}

TEST_F(ServiceVersionSimTest, UnexpandedOrMissingExecutableIsAFileSystemError)
{
    InstallConfigured(L"%SystemRoot%\\System32\\svchost.exe -k netsvcs");
    ExpectMissingExecutable([&] { Version(); }, L"%SystemRoot%\\System32\\svchost.exe");

    // Unquoted, the folder name with a space cuts the path short.
    const std::wstring unquoted = m_executable;
    InstallConfigured(unquoted);
    ExpectMissingExecutable([&] { Version(); }, unquoted.substr(0, unquoted.find(L' ')));
}

TEST_F(ServiceVersionSimTest, DirectoryIsNoExecutable)
{
    const std::wstring folder = (m_folder / "with space").wstring();
    InstallConfigured(L"\"" + folder + L"\"");
    ExpectMissingExecutable([&] { Version(); }, folder);
}

TEST_F(ServiceVersionSimTest, TheRunningProgramItselfIsRefused)
{
    winsim::AddVersionedFile(m_executable, 5, 6, 7, 8);
    winsim::SetExecutablePath(m_executable);
    InstallConfigured(L"\"" + m_executable + L"\" --run");
    ExpectPlainError([&] { Version(); },
                     "Cannot retrieve the version for a service that is not running and has "
                     "the current module path. ");
}
} // namespace
} // namespace Quelvo::testing
