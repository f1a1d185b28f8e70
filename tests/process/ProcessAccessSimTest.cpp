// The exact rights each process operation asks for. Every simulated process grants its owner everything,
// so a mask that widens passes every other test and fails this one.
#include "process/ProcessHelper.h"
#include "process/ProcessInfo.h"

#include <SimTest.h>
#include <winsim/Processes.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace
{
using namespace Quelvo;
using namespace std::chrono_literals;
using winsim::AccessRequest;

const std::wstring kChildPath = L"C:\\Program Files\\Product\\child.exe";

struct AccessRow
{
    const char* operation;
    std::function<void(ProcessHelper&, DWORD processId)> act;
    std::vector<AccessRequest> expected;
};

using ProcessAccessSimTest = winsim::testing::SimTest;

TEST_F(ProcessAccessSimTest, EachOperationAsksForExactlyTheRightsItUses)
{
    const std::vector<AccessRow> rows = {
        {"AdjustPrivileges",
         [](ProcessHelper& helper, DWORD) { EXPECT_TRUE(helper.AdjustPrivileges({}, 0)); },
         {{"OpenProcessToken", TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY}}},
        {"KillProcess",
         [](ProcessHelper& helper, DWORD id) { EXPECT_EQ(0u, helper.KillProcess(id, 1000)); },
         {{"OpenProcess", PROCESS_TERMINATE | PROCESS_SET_INFORMATION | SYNCHRONIZE}}},
        {"GetProcessImagePath",
         [](ProcessHelper& helper, DWORD id) { EXPECT_EQ(kChildPath, helper.GetProcessImagePath(id)); },
         {{"OpenProcess", PROCESS_QUERY_LIMITED_INFORMATION}}},
        {"OpenProcessHandle passes the mask on",
         [](ProcessHelper& helper, DWORD id)
         { EXPECT_TRUE(helper.OpenProcessHandle(SYNCHRONIZE, false, id)); },
         {{"OpenProcess", SYNCHRONIZE}}},
        {"StartProcess", [](ProcessHelper& helper, DWORD) { helper.StartProcess(kChildPath, L"", 0); }, {}},
        {"ProcessInfo of another process",
         [](ProcessHelper&, DWORD id) { EXPECT_EQ(kChildPath, ProcessInfo(id).GetImagePath()); },
         {{"OpenProcess", PROCESS_QUERY_LIMITED_INFORMATION}}},
        {"ProcessInfo of the own process",
         [](ProcessHelper&, DWORD)
         { EXPECT_EQ(winsim::ExecutablePath(), ProcessInfo(GetCurrentProcessId()).GetImagePath()); },
         {}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.operation);
        winsim::Reset();
        winsim::AddApplication(kChildPath);
        const DWORD id = winsim::StartProcess(kChildPath);
        ProcessHelper helper;
        row.act(helper, id);
        EXPECT_EQ(row.expected, winsim::AccessRequests());
    }
}
} // namespace
