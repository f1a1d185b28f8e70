// The service manager against Wine's SCM and the demo product's service.
#include "service/ScHandle.h"
#include "service/WindowsServiceManager.h"
#include "installer/ServiceInstaller.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

namespace Quelvo::testing
{
namespace
{
using DemoProduct::DemoServiceCommandLine;
using DemoProduct::ScopedService;
using namespace std::chrono_literals;

const std::wstring kPrimary = L"EndpointProtectionService";

template <class Call>
void ExpectSystemError(Call call, DWORD code, const std::string& message)
{
    try
    {
        call();
        ADD_FAILURE() << "no exception; expected " << code;
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(static_cast<int>(code), error.code().value()) << error.what();
        EXPECT_EQ(0u, std::string(error.what()).rfind(message, 0)) << error.what();
    }
}

template <class Call>
void ExpectPlainError(Call call, const std::string& message)
{
    try
    {
        call();
        ADD_FAILURE() << "no exception; expected " << message;
    }
    catch (const std::system_error& error)
    {
        ADD_FAILURE() << "system error " << error.code().value() << ": " << error.what();
    }
    catch (const std::exception& error)
    {
        EXPECT_EQ(message, error.what());
    }
}

class WindowsServiceManagerWineTest : public ::testing::Test
{
protected:
    std::shared_ptr<IWindowsServiceManager> m_manager = std::make_shared<WindowsServiceManager>();
};

TEST_F(WindowsServiceManagerWineTest, ScmBehavesAsTheManagerExpects)
{
    ScopedService service(kPrimary, DemoServiceCommandLine());
    const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr,
              OpenServiceW(manager.Get(), L"EndpointProtectionServiceMissing", SERVICE_QUERY_STATUS));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), GetLastError());

    const ScHandle queryOnly(OpenServiceW(manager.Get(), kPrimary.c_str(), SERVICE_QUERY_STATUS));
    ASSERT_TRUE(queryOnly);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceStatusEx(queryOnly.Get(), SC_STATUS_PROCESS_INFO,
                                      reinterpret_cast<LPBYTE>(&status), sizeof status - 1, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(sizeof status, needed);

    // Wine grants every open (a standard user's default rights cannot be shown), but a handle allows
    // only what it was opened for, as the simulated SCM models it.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceW(queryOnly.Get(), 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceConfigW(queryOnly.Get(), nullptr, 0, &needed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    SERVICE_STATUS queryOnlyStatus{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(queryOnly.Get(), SERVICE_CONTROL_STOP, &queryOnlyStatus));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    const ScHandle startOnly(OpenServiceW(manager.Get(), kPrimary.c_str(), SERVICE_START));
    ASSERT_TRUE(startOnly);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryServiceStatus(startOnly.Get(), &queryOnlyStatus));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    const ScHandle stopper(OpenServiceW(manager.Get(), kPrimary.c_str(), SERVICE_STOP));
    SERVICE_STATUS stopStatus{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(stopper.Get(), SERVICE_CONTROL_STOP, &stopStatus));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
}

TEST_F(WindowsServiceManagerWineTest, StoppedServiceExistsAndIsStopped)
{
    ScopedService service(kPrimary, DemoServiceCommandLine());
    EXPECT_TRUE(m_manager->Exists(kPrimary));
    EXPECT_FALSE(m_manager->Exists(L"EndpointProtectionServiceMissing"));
    SERVICE_STATUS_PROCESS status{};
    m_manager->QueryStatus(kPrimary, status);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(0u, status.dwProcessId);
    EXPECT_TRUE(m_manager->IsStopped(kPrimary));
    EXPECT_FALSE(m_manager->IsRunning(kPrimary));
    EXPECT_THROW(m_manager->QueryStatus(L"EndpointProtectionServiceMissing", status),
                 WindowsServiceManager::ServiceDoesNotExist);
}

TEST_F(WindowsServiceManagerWineTest, StartWaitsUntilRunningAndStopEndsIt)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 700"));
    m_manager->Start(kPrimary, 30s, {});
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.Status().dwCurrentState);
    EXPECT_TRUE(m_manager->IsRunning(kPrimary));
    EXPECT_FALSE(m_manager->IsStopped(kPrimary));

    ExpectSystemError([&] { m_manager->Start(kPrimary, 30s, {}); }, ERROR_SERVICE_ALREADY_RUNNING,
                      "Start service 'EndpointProtectionService' failed");

    m_manager->Stop(kPrimary);
    EXPECT_TRUE(m_manager->WaitUntilStopped(kPrimary, 30s));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.Status().dwCurrentState);
    EXPECT_NO_THROW(m_manager->Stop(kPrimary));
}

TEST_F(WindowsServiceManagerWineTest, DisabledServiceDoesNotStart)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(), SERVICE_DISABLED);
    ExpectSystemError([&] { m_manager->Start(kPrimary, {}, 30s); }, ERROR_SERVICE_DISABLED,
                      "Start service 'EndpointProtectionService' failed");
}

TEST_F(WindowsServiceManagerWineTest, ServiceThatReportsStoppedBeforeRunningIsAnUnexpectedState)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 500 --fail-with 1067"));
    ExpectPlainError(
        [&] { m_manager->Start(kPrimary, 30s, {}); },
        "The service process has entered unexpected state: 1. Was service state once start pending: "
        "true");
    EXPECT_TRUE(m_manager->IsStopped(kPrimary));
}

TEST_F(WindowsServiceManagerWineTest, StartArgumentsReachTheService)
{
    ScopedService service(kPrimary, DemoServiceCommandLine());
    // The service fails only because the start arguments ask it to.
    ExpectPlainError(
        [&] {
            m_manager->Start(kPrimary, {L"--start-delay-ms", L"300", L"--fail-with", L"31"}, 30s);
        },
        "The service process has entered unexpected state: 1. Was service state once start pending: "
        "true");
    EXPECT_EQ(31u, service.Status().dwWin32ExitCode);
}

TEST_F(WindowsServiceManagerWineTest, WaitUntilRunningFollowsAStartedService)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 500"));
    EXPECT_FALSE(m_manager->WaitUntilRunning(L"EndpointProtectionServiceMissing", 5s));
    EXPECT_FALSE(m_manager->WaitUntilRunning(kPrimary, 0s));
    service.StartRaw();
    EXPECT_TRUE(m_manager->WaitUntilRunning(kPrimary, 30s));
    EXPECT_FALSE(m_manager->WaitUntilStopped(kPrimary, 0s));
    service.StopAndWait();
    EXPECT_TRUE(m_manager->WaitUntilStopped(kPrimary, 5s));
}

TEST_F(WindowsServiceManagerWineTest, VersionComesFromTheProcessWhileRunningAndFromTheConfigurationOtherwise)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 100"));
    FileVersion version = m_manager->GetServiceVersion(kPrimary);
    EXPECT_EQ(1u, version.major);
    EXPECT_EQ(2u, version.minor);
    EXPECT_EQ(3u, version.build);
    EXPECT_EQ(4u, version.revision);

    m_manager->Start(kPrimary, 30s, {});
    // While it runs, a changed configuration does not matter.
    service.SetCommandLine(L"\"C:\\nowhere\\demo_service.exe\" --start-delay-ms 100");
    version = m_manager->GetServiceVersion(kPrimary);
    EXPECT_EQ(1u, version.major);
    EXPECT_EQ(4u, version.revision);

    service.StopAndWait();
    try
    {
        m_manager->GetServiceVersion(kPrimary);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());
        EXPECT_EQ(std::filesystem::path(L"C:\\nowhere\\demo_service.exe"), error.path1());
    }
}
} // namespace
} // namespace Quelvo::testing
