#include "app/Dispatch.h"

#include "app/CommandLine.h"
#include "sdk/commands/ProductUiLaunch.h"
#include "sdk/commands/ProtectionCommands.h"
#include "sdk/commands/TrustedRelaunch.h"
#include "service/ServiceRecovery.h"

namespace Quelvo
{
namespace
{
bool SelectsRealTimeProtection(const std::wstring& line)
{
    return HasSwitch(line, Switch::Av) || HasSwitch(line, Switch::As);
}

// An enable runs only while the product service is up; otherwise the service is brought up instead.
template <class Enable>
std::uint32_t EnableWithService(Enable enable)
{
    return IsServiceAvailable() ? enable() : RecoverService();
}
} // namespace

std::optional<std::uint32_t> RunDispatchedAction(const std::wstring& commandLine)
{
    if (HasSwitch(commandLine, Switch::Enable))
    {
        if (SelectsRealTimeProtection(commandLine))
        {
            return EnableWithService([] { return SetRealTimeProtection(true); });
        }
        if (HasSwitch(commandLine, Switch::Fw))
        {
            return EnableWithService([] { return EnableFirewall(); });
        }
    }
    if (HasSwitch(commandLine, Switch::Launch))
    {
        return LaunchProductUi(L"");
    }
    if (HasSwitch(commandLine, Switch::Update))
    {
        return UpdateProduct();
    }
    if (HasSwitch(commandLine, Switch::Renew))
    {
        return LaunchProductUi(L"/renew");
    }
    return std::nullopt;
}

std::uint32_t DispatchCommand(const std::wstring& commandLine)
{
    return RunDispatchedAction(commandLine).value_or(kNothingToDo);
}

std::uint32_t RunTool(const wchar_t* commandLine)
{
    const std::wstring line = LowerCasedCommandLine(commandLine);
    if (!SelectsRealTimeProtection(line) && !HasSwitch(line, Switch::Fw))
    {
        return kNothingToDo;
    }
    // A failed action is never relaunched nor followed by the disable branch, whatever its code.
    if (const auto code = RunDispatchedAction(line))
    {
        return *code;
    }
    if (!HasSwitch(line, Switch::Trusted))
    {
        return RelaunchTrusted(line);
    }
    if (HasSwitch(line, Switch::Disable) && SelectsRealTimeProtection(line))
    {
        return SetRealTimeProtection(false);
    }
    return kNothingToDo;
}
} // namespace Quelvo
