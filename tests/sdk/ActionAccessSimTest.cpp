// The exact rights each action of the client layer asks for. The own token grants its user everything,
// so a mask that widens passes every other test and fails this one.
#include "sdk/commands/ProductUiLaunch.h"
#include "sdk/commands/ProtectionCommands.h"
#include "sdk/commands/TrustedRelaunch.h"
#include "support/FakeProductSimFixture.h"

#include <gtest/gtest.h>

#include <winsim/Control.h>
#include <winsim/Processes.h>

#include <functional>
#include <vector>

namespace Quelvo::testing
{
namespace
{
using winsim::AccessRequest;

struct AccessRow
{
    const char* action;
    std::function<std::uint32_t()> act;
    std::vector<AccessRequest> expected;
};

using ActionAccessSimTest = FakeProductSimTest;

TEST_F(ActionAccessSimTest, EachActionAsksForExactlyTheRightsItUses)
{
    winsim::AddApplication(L"C:\\Program Files\\Quelvo Product\\ui.exe");
    Script().uiPath = "C:\\Program Files\\Quelvo Product\\ui.exe";
    Script().timestamp = "2000-01-01T00:00:00Z";
    winsim::SetWallClock(1700000000);
    const std::vector<AccessRow> rows = {
        {"RelaunchTrusted",
         [] { return RelaunchTrusted(L"/av /disable"); },
         {{"OpenProcessToken", TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY},
          {"DuplicateTokenEx", TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT |
                                   TOKEN_ADJUST_SESSIONID}}},
        {"LaunchProductUi", [] { return LaunchProductUi(L""); }, {}},
        {"SetRealTimeProtection(true)", [] { return SetRealTimeProtection(true); }, {}},
        {"SetRealTimeProtection(false)", [] { return SetRealTimeProtection(false); }, {}},
        {"EnableFirewall", [] { return EnableFirewall(); }, {}},
        {"UpdateProduct", [] { return UpdateProduct(); }, {}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.action);
        const std::size_t before = winsim::AccessRequests().size();
        EXPECT_EQ(0u, row.act());
        const std::vector<AccessRequest> requests(winsim::AccessRequests().begin() +
                                                      static_cast<std::ptrdiff_t>(before),
                                                  winsim::AccessRequests().end());
        EXPECT_EQ(row.expected, requests);
    }
}
} // namespace
} // namespace Quelvo::testing
