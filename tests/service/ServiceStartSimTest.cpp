#include "ServiceSimFixture.h"

#include "service/WindowsServiceManager.h"

#include <winsim/Control.h>
#include <winsim/Processes.h>

namespace Quelvo::testing
{
namespace
{
using namespace std::chrono_literals;
using winsim::ServiceStep;

class ServiceStartSimTest : public ServiceSimTest
{
protected:
    static void InstallWithStartScript(std::vector<ServiceStep> script)
    {
        auto definition = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
        definition.startScript = std::move(script);
        winsim::InstallService(definition);
    }

    void Start(std::chrono::seconds timeout = 30s, const std::vector<std::wstring>& arguments = {})
    {
        m_manager->Start(kPrimary, timeout, arguments);
    }

    std::shared_ptr<IWindowsServiceManager> m_manager = std::make_shared<WindowsServiceManager>();
};

TEST_F(ServiceStartSimTest, ReturnsOnceTheServiceRuns)
{
    InstallWithStartScript({{SERVICE_START_PENDING, 4}, {SERVICE_RUNNING}});
    Start();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), winsim::ServiceState(kPrimary));
    EXPECT_TRUE(winsim::LastStartArguments(kPrimary).empty());
    // One registration poll, the process lookup, then start-pending twice before running.
    EXPECT_EQ(500u, winsim::NowMilliseconds());
    EXPECT_EQ(4u, winsim::CallCount("QueryServiceStatus"));
    EXPECT_EQ(1u, winsim::CallCount("OpenProcess"));
}

TEST_F(ServiceStartSimTest, PassesTheStartArgumentsInOrder)
{
    InstallWithStartScript({{SERVICE_RUNNING}});
    Start(30s, {L"--start-delay-ms", L"500", L""});
    EXPECT_EQ((std::vector<std::wstring>{L"--start-delay-ms", L"500", L""}),
              winsim::LastStartArguments(kPrimary));
    EXPECT_EQ(0u, winsim::NowMilliseconds());
}

TEST_F(ServiceStartSimTest, StartServiceFailuresAreSystemErrors)
{
    Install(kPrimary, SERVICE_RUNNING, SERVICE_START);
    // The message converts the name; a conversion that clears the last error must not change the code.
    winsim::SetLastErrorOnSuccess("WideCharToMultiByte", ERROR_SUCCESS);
    ExpectSystemError([&] { Start(); }, ERROR_SERVICE_ALREADY_RUNNING,
                      "Start service 'EndpointProtectionService' failed");

    auto disabled = Service(kAlternative, SERVICE_STOPPED, SERVICE_START);
    disabled.startType = SERVICE_DISABLED;
    winsim::InstallService(disabled);
    ExpectSystemError([&] { m_manager->Start(kAlternative, 30s, {}); }, ERROR_SERVICE_DISABLED,
                      "Start service 'EndpointProtectionService2' failed");
    EXPECT_EQ(0u, winsim::ServiceStartCount(kAlternative));
}

TEST_F(ServiceStartSimTest, OpensTheServiceForStartAndStatus)
{
    auto queryOnly = Service(kPrimary);
    queryOnly.grantedRights = SERVICE_QUERY_STATUS;
    winsim::InstallService(queryOnly);
    ExpectSystemError([&] { Start(); }, ERROR_ACCESS_DENIED,
                      "Could not open service 'EndpointProtectionService'!");

    auto startOnly = Service(kPrimary);
    startOnly.grantedRights = SERVICE_START;
    winsim::InstallService(startOnly);
    ExpectSystemError([&] { Start(); }, ERROR_ACCESS_DENIED,
                      "Could not open service 'EndpointProtectionService'!");
    EXPECT_THROW(m_manager->Start(L"Missing", 30s, {}), WindowsServiceManager::ServiceDoesNotExist);
}

TEST_F(ServiceStartSimTest, RegistrationGivesUpAfterFiftyPolls)
{
    InstallWithStartScript({{SERVICE_STOPPED}});
    ExpectPlainError([&] { Start(); }, "Service did not start in time.");
    EXPECT_EQ(50u, winsim::CallCount("QueryServiceStatus"));
    EXPECT_EQ(5000u, winsim::NowMilliseconds());
    EXPECT_EQ(0u, winsim::CallCount("QueryServiceStatusEx"));
}

TEST_F(ServiceStartSimTest, AFailedRegistrationPollCountsAsUnsuccessful)
{
    InstallWithStartScript({{SERVICE_RUNNING}});
    winsim::FailNth("QueryServiceStatus", 1, ERROR_INVALID_HANDLE);
    winsim::FailNth("QueryServiceStatus", 1, ERROR_INVALID_HANDLE);
    Start();
    EXPECT_EQ(200u, winsim::NowMilliseconds());
}

TEST_F(ServiceStartSimTest, NoProcessIdIsAPlainError)
{
    auto definition = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
    definition.startsProcess = false;
    winsim::InstallService(definition);
    ExpectPlainError([&] { Start(); }, "No process found for the started service");
}

TEST_F(ServiceStartSimTest, AProcessThatCannotBeOpenedIsASystemError)
{
    Install(kPrimary, SERVICE_STOPPED, SERVICE_START);
    winsim::FailNext("OpenProcess", ERROR_ACCESS_DENIED);
    ExpectSystemError([&] { Start(); }, ERROR_ACCESS_DENIED, "No process found for the started service");
}

TEST_F(ServiceStartSimTest, StartPendingThenStoppedReportsTheStateAfterTheProcessEnded)
{
    InstallWithStartScript(
        {{SERVICE_START_PENDING, 3}, ServiceStep(SERVICE_STOPPED).ProcessExits(0, ERROR_PROCESS_ABORTED)});
    ExpectPlainError(
        [&] { Start(); },
        "The service process has entered unexpected state: 1. Was service state once start pending: "
        "true");
}

TEST_F(ServiceStartSimTest, RunningThenStopPendingWaitsForTheProcess)
{
    InstallWithStartScript({{SERVICE_RUNNING, 2}, ServiceStep(SERVICE_STOP_PENDING).ProcessExits(1000)});
    ExpectPlainError(
        [&] { Start(); },
        "The service process has entered unexpected state: 3. Was service state once start pending: "
        "false");
    EXPECT_EQ(1000u, winsim::NowMilliseconds());
}

TEST_F(ServiceStartSimTest, AProcessThatStaysAfterAnUnexpectedStateUsesUpTheLimit)
{
    InstallWithStartScript({{SERVICE_START_PENDING, 3}, {SERVICE_STOP_PENDING}});
    ExpectPlainError([&] { Start(30s); }, "The service process did not close in time");
    EXPECT_EQ(30000u, winsim::NowMilliseconds());
    EXPECT_EQ(1u, winsim::CallCount("WaitForSingleObject"));
}

TEST_F(ServiceStartSimTest, StaysStartPendingUntilThe900SecondLimit)
{
    InstallWithStartScript({{SERVICE_START_PENDING}});
    ExpectPlainError([&] { Start(900s); }, "The service did not start in time");
    EXPECT_EQ(900000u, winsim::NowMilliseconds());
    EXPECT_EQ(3600u, winsim::CallCount("Sleep"));
    EXPECT_EQ(1u + 3600u, winsim::CallCount("QueryServiceStatus"));
    EXPECT_EQ(0u, winsim::CallCount("WaitForSingleObject"));
}

TEST_F(ServiceStartSimTest, ATimeOutOfZeroFailsAfterTheProcessLookup)
{
    InstallWithStartScript({{SERVICE_START_PENDING}});
    ExpectPlainError([&] { Start(0s); }, "The service did not start in time");
    EXPECT_EQ(1u, winsim::CallCount("QueryServiceStatus"));
    EXPECT_EQ(1u, winsim::CallCount("QueryServiceStatusEx"));
    EXPECT_EQ(1u, winsim::CallCount("OpenProcess"));
    EXPECT_EQ(0u, winsim::CallCount("Sleep"));
}

TEST_F(ServiceStartSimTest, AProcessThatEndedUnnoticedIsReportedAsStopped)
{
    InstallWithStartScript({ServiceStep(SERVICE_START_PENDING).ProcessExits(600, 3)});
    ExpectPlainError(
        [&] { Start(); },
        "The service process has entered unexpected state: 1. Was service state once start pending: "
        "true");
}
} // namespace
} // namespace Quelvo::testing
