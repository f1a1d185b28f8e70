#include "ServiceSimFixture.h"

#include "service/ServiceRecovery.h"

#include <winsim/Control.h>

#include <functional>

namespace Quelvo::testing
{
namespace
{
using winsim::ServiceStep;

class ServiceCheckSimTest : public ServiceSimTest
{
};

TEST_F(ServiceCheckSimTest, MissingPrimaryIsUnavailableWithoutLookingAtTheAlternative)
{
    Install(kAlternative, SERVICE_RUNNING);
    EXPECT_FALSE(IsServiceAvailable());
    EXPECT_EQ(1u, winsim::CallCount("OpenServiceW"));
    EXPECT_EQ(0u, winsim::ServiceStatusQueryCount(kAlternative));
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), RecoverService());
    EXPECT_EQ(0u, winsim::CallCount("StartServiceW"));
}

TEST_F(ServiceCheckSimTest, RunningOrStartPendingPrimaryIsAvailableAfterOneQuery)
{
    Install(kPrimary, SERVICE_RUNNING);
    EXPECT_TRUE(IsServiceAvailable());
    EXPECT_EQ(2u, winsim::CallCount("OpenServiceW"));
    EXPECT_EQ(1u, winsim::CallCount("QueryServiceStatusEx"));

    Install(kPrimary, SERVICE_START_PENDING);
    EXPECT_TRUE(IsServiceAvailable());
    EXPECT_EQ(0u, winsim::NowMilliseconds());
}

TEST_F(ServiceCheckSimTest, StoppedPrimaryDefersToTheAlternative)
{
    Install(kPrimary);
    Install(kAlternative, SERVICE_RUNNING);
    EXPECT_TRUE(IsServiceAvailable());
    Install(kAlternative, SERVICE_START_PENDING);
    EXPECT_TRUE(IsServiceAvailable());
    Install(kAlternative, SERVICE_STOPPED);
    EXPECT_FALSE(IsServiceAvailable());
    Install(kAlternative, SERVICE_STOP_PENDING);
    EXPECT_FALSE(IsServiceAvailable());
    winsim::RemoveService(kAlternative);
    EXPECT_FALSE(IsServiceAvailable());
    EXPECT_EQ(0u, winsim::CallCount("StartServiceW"));
}

TEST_F(ServiceCheckSimTest, AccessDeniedCountsAsAvailable)
{
    auto refused = Service(kPrimary);
    refused.grantedRights = SERVICE_QUERY_CONFIG;
    winsim::InstallService(refused);
    EXPECT_TRUE(IsServiceAvailable());

    Install(kPrimary);
    winsim::SetServiceManagerRights(0);
    EXPECT_TRUE(IsServiceAvailable());

    winsim::SetServiceManagerRights(SC_MANAGER_ALL_ACCESS);
    winsim::FailNext("QueryServiceStatusEx", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(IsServiceAvailable());
}

TEST_F(ServiceCheckSimTest, OtherSystemErrorsCountAsUnavailable)
{
    Install(kPrimary, SERVICE_RUNNING);
    winsim::FailNext("OpenSCManagerW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(IsServiceAvailable());
    winsim::FailNth("OpenServiceW", 2, ERROR_INVALID_NAME);
    EXPECT_FALSE(IsServiceAvailable());
    winsim::FailNext("QueryServiceStatusEx", ERROR_INVALID_HANDLE);
    EXPECT_FALSE(IsServiceAvailable());
}

class ServiceRecoverySimTest : public ServiceSimTest
{
protected:
    static void InstallWithStartScript(std::vector<ServiceStep> script)
    {
        auto definition = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
        definition.startScript = std::move(script);
        winsim::InstallService(definition);
    }
};

TEST_F(ServiceRecoverySimTest, StartsTheStoppedPrimaryAndReturnsZeroOnceItRuns)
{
    InstallWithStartScript({{SERVICE_START_PENDING, 3}, {SERVICE_RUNNING}});
    Install(kAlternative);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0u, RecoverService());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), winsim::ServiceState(kPrimary));
    EXPECT_TRUE(winsim::LastStartArguments(kPrimary).empty());
    EXPECT_EQ(0u, winsim::ServiceStartCount(kAlternative));
}

TEST_F(ServiceRecoverySimTest, StartServiceFailuresReturnTheirCode)
{
    Install(kPrimary, SERVICE_RUNNING, SERVICE_START);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_ALREADY_RUNNING), RecoverService());

    auto disabled = Service(kPrimary, SERVICE_STOPPED, SERVICE_START);
    disabled.startType = SERVICE_DISABLED;
    winsim::InstallService(disabled);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_DISABLED), RecoverService());

    Install(kPrimary, SERVICE_STOPPED, SERVICE_START);
    winsim::FailNext("StartServiceW", ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_REQUEST_TIMEOUT), RecoverService());

    // A service that grants its users no start right cannot be recovered by a standard user.
    Install(kPrimary);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_ACCESS_DENIED), RecoverService());
    EXPECT_EQ(0u, winsim::ServiceStartCount(kPrimary));
}

TEST_F(ServiceRecoverySimTest, OpenFailuresReturnTheirCode)
{
    Install(kPrimary, SERVICE_STOPPED, SERVICE_START);
    winsim::FailNext("OpenSCManagerW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY), RecoverService());
    winsim::FailNth("OpenServiceW", 2, ERROR_INVALID_NAME);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_INVALID_NAME), RecoverService());
    winsim::FailNext("OpenProcess", ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_ACCESS_DENIED), RecoverService());
}

// The time-outs and the unexpected state carry no Win32 code: a thread whose last error is 0 must still
// not report a service that never ran as recovered.
TEST_F(ServiceRecoverySimTest, FailuresWithoutAWin32CodeNeverReturnZero)
{
    InstallWithStartScript({{SERVICE_START_PENDING}});
    SetLastError(0);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_REQUEST_TIMEOUT), RecoverService());
    EXPECT_EQ(900000u, winsim::NowMilliseconds());
    EXPECT_EQ(3600u, winsim::CallCount("Sleep"));

    InstallWithStartScript({{SERVICE_STOPPED}});
    SetLastError(0);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_REQUEST_TIMEOUT), RecoverService());

    InstallWithStartScript({{SERVICE_START_PENDING, 3}, ServiceStep(SERVICE_STOPPED).ProcessExits(0, 1067)});
    SetLastError(0);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_REQUEST_TIMEOUT), RecoverService());
}

TEST_F(ServiceRecoverySimTest, FailuresWithoutAWin32CodeReturnTheThreadsLastError)
{
    // A failed status poll leaves its code behind; the later unexpected state returns it.
    InstallWithStartScript({{SERVICE_START_PENDING, 3}, ServiceStep(SERVICE_STOPPED).ProcessExits(0, 1067)});
    winsim::FailNth("QueryServiceStatus", 2, ERROR_PROCESS_ABORTED);
    // Nor do the closes on the way out change it, even where a successful close would clear it.
    winsim::SetLastErrorOnSuccess("CloseHandle", ERROR_SUCCESS);
    winsim::SetLastErrorOnSuccess("CloseServiceHandle", ERROR_SUCCESS);
    SetLastError(0);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_PROCESS_ABORTED), RecoverService());
}
// The throw on the way to the handler clears the thread's last error: each failure's code is the one
// that stood where it was raised.
TEST_F(ServiceRecoverySimTest, FailuresReturnTheCodeOfWhereTheyWereRaised)
{
    struct Row
    {
        const char* situation;
        std::function<void()> arrange;
        DWORD expected;
    };
    const Row rows[] = {
        {"removed between the check and the start",
         []
         {
             InstallWithStartScript({{SERVICE_RUNNING}});
             winsim::BeforeCall("OpenServiceW", 2, [] { winsim::RemoveService(kPrimary); });
         },
         ERROR_SERVICE_DOES_NOT_EXIST},
        {"every registration poll fails",
         []
         {
             InstallWithStartScript({{SERVICE_STOPPED}});
             winsim::FailAlways("QueryServiceStatus", ERROR_INVALID_HANDLE);
         },
         ERROR_INVALID_HANDLE},
        {"the wait for the stopped process fails",
         []
         {
             InstallWithStartScript(
                 {{SERVICE_START_PENDING, 3}, ServiceStep(SERVICE_STOPPED).ProcessExits(0, 1067)});
             winsim::FailNext("WaitForSingleObject", ERROR_INVALID_HANDLE);
         },
         ERROR_INVALID_HANDLE},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.situation);
        row.arrange();
        SetLastError(0);
        EXPECT_EQ(row.expected, RecoverService());
        winsim::ClearFaults();
    }
}
} // namespace
} // namespace Quelvo::testing
