#include "Scenario.h"

namespace Quelvo::ShippedSweep
{
std::vector<Scenario> Scenarios(const std::string& uiPath)
{
    using enum ServiceSetup;
    using enum Action;
    const std::string ui = "ui.path=" + uiPath + "\n";
    const DWORD none = kNoTrustedInstance;
    return {
        // The demo's rows (scripts/demo).
        {L"/av /enable", "service running", Running, "", true, Enable, 0, none},
        {L"/AS /ENABLE", "service stopped: the tool starts it", Stopped, "", true, ServiceStarted, 0, none},
        {L"/av /enable", "service not installed", Missing, "", true, ServiceStarted, 1060, none},
        {L"/fw /enable", "firewall allowed", Running, "firewall.allowed=1\n", true, FirewallEnable, 0, none},
        {L"/fw /enable", "firewall not allowed", Running, "firewall.allowed=0\n", true, FirewallEnable, 5,
         none},
        {L"/av /update", "update", Running, "", true, Update, 0, none},
        {L"/update", "no /av, /as or /fw", Running, "", true, Update, 87, none},
        {L"/av /launch", "launch", Running, ui, true, UiStarted, 0, none},
        {L"/fw /renew", "renew", Running, ui, true, UiStarted, 0, none},
        {L"/av /disable", "relaunched; time stamp in the past", Running,
         "launcher.start=1\ntimestamp=2000-01-01T00:00:00Z\n", true, Relaunch, 0, 0},
        {L"/av /disable", "relaunched; time stamp in the future: refused", Running,
         "launcher.start=1\ntimestamp=2999-01-01T00:00:00Z\n", true, Relaunch, 0, 5},
        {L"/av /disable /trusted", "time stamp in the future: refused", Running,
         "timestamp=2999-01-01T00:00:00Z\n", true, Disable, 5, none},
        {L"/av /disable /trusted", "time stamp malformed", Running, "timestamp=2024/01/01\n", true, Disable,
         1064, none},
        {L"/av /enable", "client library missing", Running, "", false, Enable, 31, none},
        {L"/av /enable", "Connect fails with 1722", Running, "result.Connect=1722\n", true, Enable, 1722,
         none},
        // The recovery rows of the end-to-end suite.
        {L"/enable /fw", "service stopped: the tool starts it", Stopped, "", true, ServiceStarted, 0, none},
        {L"/enable /fw", "service not installed", Missing, "", true, ServiceStarted, 1060, none},
        {L"/enable /av", "service stops before running", StopsBeforeRunning, "", true, ServiceStarted, 1053,
         none},
    };
}
} // namespace Quelvo::ShippedSweep
