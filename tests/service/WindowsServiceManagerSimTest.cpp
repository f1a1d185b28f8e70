#include "ServiceSimFixture.h"

#include "service/ScHandle.h"
#include "service/WindowsServiceManager.h"

#include <winsim/Control.h>
#include <winsim/Processes.h>

#include <algorithm>

namespace Quelvo::testing
{
namespace
{
using namespace std::chrono_literals;

class WindowsServiceManagerSimTest : public ServiceSimTest
{
protected:
    // Starts a service through the SCM directly, so that its start script runs without the manager.
    static void StartDirectly(const std::wstring& name)
    {
        const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        const ScHandle service(OpenServiceW(manager.Get(), name.c_str(), SERVICE_START));
        ASSERT_TRUE(StartServiceW(service.Get(), 0, nullptr));
    }

    std::shared_ptr<IWindowsServiceManager> m_manager = std::make_shared<WindowsServiceManager>();
};

TEST_F(WindowsServiceManagerSimTest, ExistsOpensForStatusQueriesAndClosesEverything)
{
    Install(kPrimary);
    EXPECT_TRUE(m_manager->Exists(kPrimary));
    EXPECT_TRUE(m_manager->Exists(L"endpointprotectionservice"));
    EXPECT_FALSE(m_manager->Exists(kAlternative));
    const std::vector<std::string> expected{"OpenSCManagerW", "OpenServiceW", "CloseServiceHandle",
                                            "CloseServiceHandle"};
    EXPECT_EQ(expected, std::vector<std::string>(winsim::CallLog().begin(), winsim::CallLog().begin() + 4));
}

TEST_F(WindowsServiceManagerSimTest, ExistsPropagatesEveryFailureButAMissingService)
{
    auto definition = Service(kPrimary);
    definition.grantedRights = SERVICE_QUERY_CONFIG; // no SERVICE_QUERY_STATUS
    winsim::InstallService(definition);
    ExpectSystemError([&] { m_manager->Exists(kPrimary); }, ERROR_ACCESS_DENIED,
                      "Could not open service 'EndpointProtectionService'!");

    winsim::SetServiceManagerRights(0);
    ExpectSystemError([&] { m_manager->Exists(kPrimary); }, ERROR_ACCESS_DENIED, "OpenSCManagerW failed!");

    winsim::SetServiceManagerRights(SC_MANAGER_ALL_ACCESS);
    winsim::FailNext("OpenServiceW", ERROR_INVALID_NAME);
    ExpectSystemError([&] { m_manager->Exists(kPrimary); }, ERROR_INVALID_NAME,
                      "Could not open service 'EndpointProtectionService'!");
}

TEST_F(WindowsServiceManagerSimTest, MissingServiceIsAPlainExceptionNamingTheService)
{
    try
    {
        SERVICE_STATUS_PROCESS status{};
        m_manager->QueryStatus(L"Dienst\u00e4", status);
        FAIL() << "no exception";
    }
    catch (const WindowsServiceManager::ServiceDoesNotExist& error)
    {
        const std::exception& base = error;
        EXPECT_EQ(nullptr, dynamic_cast<const std::system_error*>(&base));
        EXPECT_STREQ("The service 'Dienst\xc3\xa4' does not exist.", error.what());
    }
}

TEST_F(WindowsServiceManagerSimTest, QueryStatusFillsTheProcessStatus)
{
    Install(kPrimary, SERVICE_RUNNING);
    SERVICE_STATUS_PROCESS status{};
    m_manager->QueryStatus(kPrimary, status);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(winsim::ServiceProcessId(kPrimary), status.dwProcessId);
    EXPECT_NE(0u, status.dwProcessId);
    EXPECT_EQ(1u, winsim::CallCount("QueryServiceStatusEx"));
}

TEST_F(WindowsServiceManagerSimTest, QueryStatusFailureCarriesTheCode)
{
    Install(kPrimary);
    // The message converts the name; a conversion that clears the last error must not change the code.
    winsim::SetLastErrorOnSuccess("WideCharToMultiByte", ERROR_SUCCESS);
    winsim::FailNext("QueryServiceStatusEx", ERROR_INVALID_HANDLE);
    SERVICE_STATUS_PROCESS status{};
    ExpectSystemError([&] { m_manager->QueryStatus(kPrimary, status); }, ERROR_INVALID_HANDLE,
                      "Could not get SERVICE_STATUS_PROCESS for service 'EndpointProtectionService'!");
}

TEST_F(WindowsServiceManagerSimTest, RunningAndStoppedFollowStateAndProcessId)
{
    Install(kPrimary, SERVICE_RUNNING);
    Install(kAlternative, SERVICE_STOPPED);
    winsim::InstallService(Service(L"Pending", SERVICE_STOP_PENDING));
    EXPECT_TRUE(m_manager->IsRunning(kPrimary));
    EXPECT_FALSE(m_manager->IsStopped(kPrimary));
    EXPECT_FALSE(m_manager->IsRunning(kAlternative));
    EXPECT_TRUE(m_manager->IsStopped(kAlternative));
    EXPECT_FALSE(m_manager->IsRunning(L"Pending"));
    EXPECT_FALSE(m_manager->IsStopped(L"Pending"));
    EXPECT_THROW(m_manager->IsRunning(L"Missing"), WindowsServiceManager::ServiceDoesNotExist);
}

TEST_F(WindowsServiceManagerSimTest, StopSendsTheControlWithoutWaiting)
{
    Install(kPrimary, SERVICE_RUNNING, SERVICE_STOP);
    m_manager->Stop(kPrimary);
    EXPECT_EQ(1u, winsim::ServiceStopCount(kPrimary));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), winsim::ServiceState(kPrimary));
    EXPECT_EQ(0u, winsim::CallCount("Sleep"));
}

TEST_F(WindowsServiceManagerSimTest, StopOfAStoppedServiceIsNoError)
{
    Install(kPrimary, SERVICE_STOPPED, SERVICE_STOP);
    EXPECT_NO_THROW(m_manager->Stop(kPrimary));
    EXPECT_NO_THROW(m_manager->Stop(kPrimary));
    EXPECT_EQ(2u, winsim::CallCount("ControlService"));
}

TEST_F(WindowsServiceManagerSimTest, StopFailures)
{
    Install(kPrimary, SERVICE_START_PENDING, SERVICE_STOP);
    ExpectSystemError([&] { m_manager->Stop(kPrimary); }, ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                      "Stop service 'EndpointProtectionService' failed");

    auto queryOnly = Service(kAlternative, SERVICE_RUNNING);
    queryOnly.grantedRights = SERVICE_QUERY_STATUS;
    winsim::InstallService(queryOnly);
    ExpectSystemError([&] { m_manager->Stop(kAlternative); }, ERROR_ACCESS_DENIED,
                      "Could not open service 'EndpointProtectionService2'!");
    EXPECT_THROW(m_manager->Stop(L"Missing"), WindowsServiceManager::ServiceDoesNotExist);
}

TEST_F(WindowsServiceManagerSimTest, WaitUntilRunningPollsEveryQuarterSecond)
{
    auto definition = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
    definition.startScript = {{SERVICE_START_PENDING, 3}, {SERVICE_RUNNING}};
    winsim::InstallService(definition);
    StartDirectly(kPrimary);
    EXPECT_TRUE(m_manager->WaitUntilRunning(kPrimary, 5s));
    EXPECT_EQ(750u, winsim::NowMilliseconds());
    EXPECT_EQ(4u, winsim::ServiceStatusQueryCount(kPrimary));
}

TEST_F(WindowsServiceManagerSimTest, WaitUntilRunningGivesUpAtTheLimit)
{
    auto definition = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
    definition.startScript = {{SERVICE_START_PENDING}};
    winsim::InstallService(definition);
    StartDirectly(kPrimary);
    EXPECT_FALSE(m_manager->WaitUntilRunning(kPrimary, 2s));
    EXPECT_EQ(2000u, winsim::NowMilliseconds());
    EXPECT_EQ(8u, winsim::ServiceStatusQueryCount(kPrimary));
}

TEST_F(WindowsServiceManagerSimTest, WaitUntilRunningOfAMissingServiceIsFalse)
{
    EXPECT_FALSE(m_manager->WaitUntilRunning(kPrimary, 5s));
    EXPECT_EQ(0u, winsim::CallCount("QueryServiceStatusEx"));
    EXPECT_EQ(0u, winsim::NowMilliseconds());
}

TEST_F(WindowsServiceManagerSimTest, WaitsWithATimeOutOfZeroQueryNothing)
{
    Install(kPrimary, SERVICE_RUNNING);
    EXPECT_FALSE(m_manager->WaitUntilRunning(kPrimary, 0s));
    EXPECT_EQ(1u, winsim::CallCount("OpenServiceW")); // the existence check only
    EXPECT_FALSE(m_manager->WaitUntilStopped(kPrimary, 0s));
    EXPECT_EQ(1u, winsim::CallCount("OpenServiceW"));
    EXPECT_EQ(0u, winsim::CallCount("QueryServiceStatusEx"));
}

TEST_F(WindowsServiceManagerSimTest, WaitUntilStoppedFollowsTheStop)
{
    auto definition = Service(kPrimary, SERVICE_RUNNING, SERVICE_STOP);
    definition.stopScript = {{SERVICE_STOP_PENDING, 2}, winsim::ServiceStep(SERVICE_STOPPED).ProcessExits(0)};
    winsim::InstallService(definition);
    const DWORD processId = winsim::ServiceProcessId(kPrimary);
    m_manager->Stop(kPrimary);
    EXPECT_TRUE(m_manager->WaitUntilStopped(kPrimary, 10s));
    EXPECT_EQ(500u, winsim::NowMilliseconds());
    EXPECT_FALSE(winsim::IsProcessRunning(processId));
}

TEST_F(WindowsServiceManagerSimTest, WaitUntilStoppedOfAMissingServiceThrows)
{
    EXPECT_THROW(m_manager->WaitUntilStopped(kPrimary, 5s), WindowsServiceManager::ServiceDoesNotExist);
    EXPECT_EQ(0u, winsim::NowMilliseconds());
}

TEST(ScHandle, EmptyHolderRaisesAPlainError)
{
    const ScHandle empty;
    ExpectPlainError([&] { empty.Get(); }, "sc_handle not initialized");
}

TEST_F(WindowsServiceManagerSimTest, ScHandleClosesOnceAndKeepsTheLastError)
{
    ScHandle moved;
    {
        ScHandle original(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        ASSERT_TRUE(original);
        moved = std::move(original);
        EXPECT_FALSE(original);
    }
    EXPECT_EQ(1u, winsim::OpenHandleCount());
    SetLastError(ERROR_SERVICE_DISABLED);
    moved = ScHandle();
    EXPECT_EQ(0u, winsim::OpenHandleCount());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DISABLED), GetLastError());
}

// Records the operations that others are built on, then does what the manager does.
class RecordingManager : public WindowsServiceManager
{
public:
    void Start(const std::wstring& name, const std::chrono::seconds& timeout,
               const std::vector<std::wstring>& arguments) override
    {
        calls.push_back("Start");
        startTimeout = timeout;
        startArguments = arguments;
        WindowsServiceManager::Start(name, timeout, arguments);
    }
    using WindowsServiceManager::Start;

    bool Exists(const std::wstring& name) override
    {
        calls.push_back("Exists");
        return WindowsServiceManager::Exists(name);
    }

    bool IsRunning(const std::wstring& name) override
    {
        calls.push_back("IsRunning");
        return WindowsServiceManager::IsRunning(name);
    }

    bool IsStopped(const std::wstring& name) override
    {
        calls.push_back("IsStopped");
        return WindowsServiceManager::IsStopped(name);
    }

    void QueryStatus(const std::wstring& name, SERVICE_STATUS_PROCESS& status) override
    {
        calls.push_back("QueryStatus");
        WindowsServiceManager::QueryStatus(name, status);
    }

    std::vector<std::string> calls;
    std::chrono::seconds startTimeout{};
    std::vector<std::wstring> startArguments;
};

TEST_F(WindowsServiceManagerSimTest, OperationsBuiltOnOthersCallThemVirtually)
{
    Install(kPrimary, SERVICE_RUNNING);
    RecordingManager manager;
    IWindowsServiceManager& service = manager;

    service.IsRunning(kPrimary);
    service.IsStopped(kPrimary);
    EXPECT_EQ((std::vector<std::string>{"IsRunning", "QueryStatus", "IsStopped", "QueryStatus"}),
              manager.calls);

    manager.calls.clear();
    service.WaitUntilRunning(kPrimary, 1s);
    service.WaitUntilStopped(kPrimary, 1s);
    EXPECT_EQ(
        (std::vector<std::string>{"Exists", "QueryStatus", "IsStopped", "QueryStatus", "IsStopped",
                                  "QueryStatus", "IsStopped", "QueryStatus", "IsStopped", "QueryStatus"}),
        manager.calls);
}

TEST_F(WindowsServiceManagerSimTest, SecondStartFormForwardsToTheFirstThroughTheInterface)
{
    Install(kPrimary, SERVICE_STOPPED, SERVICE_START);
    RecordingManager manager;
    IWindowsServiceManager& service = manager;
    service.Start(kPrimary, {L"--one", L"two"}, 42s);
    EXPECT_EQ((std::vector<std::string>{"Start", "QueryStatus"}), manager.calls);
    EXPECT_EQ(42s, manager.startTimeout);
    EXPECT_EQ((std::vector<std::wstring>{L"--one", L"two"}), manager.startArguments);
    EXPECT_EQ(manager.startArguments, winsim::LastStartArguments(kPrimary));
}
} // namespace
} // namespace Quelvo::testing
