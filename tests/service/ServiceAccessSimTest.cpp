// The exact rights each operation asks of the Service Control Manager and of the process table. The
// machine grants everything here but what a LocalSystem service's process withholds from a caller below
// System integrity, so a mask that widens passes every other test and fails this one.
#include "ServiceSimFixture.h"

#include "service/ServiceRecovery.h"
#include "service/WindowsServiceManager.h"

#include <winsim/Control.h>
#include <winsim/System.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace Quelvo::testing
{
namespace
{
using namespace std::chrono_literals;
using winsim::AccessRequest;

const AccessRequest kConnect{"OpenSCManagerW", SC_MANAGER_CONNECT};
const AccessRequest kQueryStatus{"OpenServiceW", SERVICE_QUERY_STATUS};
const AccessRequest kQueryConfig{"OpenServiceW", SERVICE_QUERY_CONFIG};
const AccessRequest kStart{"OpenServiceW", SERVICE_START | SERVICE_QUERY_STATUS};
const AccessRequest kStop{"OpenServiceW", SERVICE_STOP | SERVICE_QUERY_STATUS};
const AccessRequest kWaitForProcess{"OpenProcess", SYNCHRONIZE};
const AccessRequest kQueryProcess{"OpenProcess", PROCESS_QUERY_LIMITED_INFORMATION};

struct AccessRow
{
    const char* operation;
    DWORD state; // of the primary service; the alternative is not installed
    std::function<void(IWindowsServiceManager&)> act;
    std::vector<AccessRequest> expected;
};

using ServiceAccessSimTest = ServiceSimTest;

TEST_F(ServiceAccessSimTest, EachOperationAsksForExactlyTheRightsItUses)
{
    const std::vector<AccessRow> rows = {
        {"Exists",
         SERVICE_STOPPED,
         [](IWindowsServiceManager& m) { EXPECT_TRUE(m.Exists(kPrimary)); },
         {kConnect, kQueryStatus}},
        {"QueryStatus",
         SERVICE_RUNNING,
         [](IWindowsServiceManager& m) { EXPECT_TRUE(m.IsRunning(kPrimary)); },
         {kConnect, kQueryStatus}},
        {"Start",
         SERVICE_STOPPED,
         [](IWindowsServiceManager& m) { m.Start(kPrimary, 30s, {}); },
         {kConnect, kStart, kConnect, kQueryStatus, kWaitForProcess}},
        {"Stop", SERVICE_RUNNING, [](IWindowsServiceManager& m) { m.Stop(kPrimary); }, {kConnect, kStop}},
        {"WaitUntilRunning",
         SERVICE_RUNNING,
         [](IWindowsServiceManager& m) { EXPECT_TRUE(m.WaitUntilRunning(kPrimary, 1s)); },
         {kConnect, kQueryStatus, kConnect, kQueryStatus}},
        {"WaitUntilStopped",
         SERVICE_STOPPED,
         [](IWindowsServiceManager& m) { EXPECT_TRUE(m.WaitUntilStopped(kPrimary, 1s)); },
         {kConnect, kQueryStatus}},
        // The service's process runs as LocalSystem, the tool does not: only the limited query is granted.
        {"GetServiceVersion of a running LocalSystem service",
         SERVICE_RUNNING,
         [](IWindowsServiceManager& m) { EXPECT_EQ(1u, m.GetServiceVersion(kPrimary).major); },
         {kConnect, kQueryStatus, kConnect, kQueryStatus, kQueryProcess}},
        // The configured executable is not on the host: the configuration was read all the same.
        {"GetServiceVersion of a stopped service",
         SERVICE_STOPPED,
         [](IWindowsServiceManager& m)
         { EXPECT_THROW(m.GetServiceVersion(kPrimary), std::filesystem::filesystem_error); },
         {kConnect, kQueryStatus, kConnect, kQueryConfig}},
        {"IsServiceAvailable",
         SERVICE_STOPPED,
         [](IWindowsServiceManager&) { EXPECT_FALSE(IsServiceAvailable()); },
         {kConnect, kQueryStatus, kConnect, kQueryStatus, kConnect, kQueryStatus}},
        {"RecoverService",
         SERVICE_STOPPED,
         [](IWindowsServiceManager&) { EXPECT_EQ(0u, RecoverService()); },
         {kConnect, kQueryStatus, kConnect, kStart, kConnect, kQueryStatus, kWaitForProcess}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.operation);
        winsim::Reset();
        winsim::SetServiceManagerRights(SC_MANAGER_ALL_ACCESS);
        Install(kPrimary, row.state, SERVICE_ALL_ACCESS);
        winsim::AddVersionedFile(kServiceImage, 1, 2, 3, 4);
        const std::shared_ptr<IWindowsServiceManager> manager = std::make_shared<WindowsServiceManager>();
        row.act(*manager);
        EXPECT_EQ(row.expected, winsim::AccessRequests());
        EXPECT_EQ(0u, winsim::OpenHandleCount());
    }
}
} // namespace
} // namespace Quelvo::testing
