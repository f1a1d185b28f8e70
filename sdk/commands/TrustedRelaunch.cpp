#include "sdk/commands/TrustedRelaunch.h"

#include "base/ExitCodes.h"
#include "base/TextConversion.h"
#include "base/WinHandle.h"
#include "process/ProcessInfo.h"
#include "sdk/Sdk.h"

#include <windows.h>

#include <exception>
#include <new>
#include <system_error>

namespace Quelvo
{
using namespace EndpointProtectionSdk;

namespace
{
constexpr DWORD kOwnTokenAccess = TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY;
constexpr DWORD kPrimaryTokenAccess =
    TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

// A failed call must not read as success even when it left no last error behind.
std::uint32_t FailureCode()
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// The handle value as the launcher takes it: cut to 32 bits, 0 for an unusable handle.
std::uint32_t TokenValue(const WinHandle& token)
{
    return token.IsValid() ? static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(token.Get())) : 0;
}
} // namespace

std::uint32_t RelaunchTrusted(const std::wstring& commandLine)
{
    try
    {
        std::shared_ptr<IEppClient> client;
        if (const auto code = ConnectClient(client); code != ERROR_SUCCESS)
        {
            return code;
        }
        const auto launcher = Sdk::CreateTrustedProcessLauncher(client);
        if (!launcher)
        {
            return kSdkObjectUnavailable;
        }

        // Each token's holder exists before the token does, so that a failed allocation cannot leave
        // one to no one.
        const auto token = std::make_shared<WinHandle>(nullptr, CloseKernelHandle);
        BOOL duplicated = FALSE;
        {
            WinHandle opened(nullptr, CloseKernelHandle);
            if (!OpenProcessToken(GetCurrentProcess(), kOwnTokenAccess, opened.Put()))
            {
                return FailureCode();
            }
            duplicated = DuplicateTokenEx(opened.Get(), kPrimaryTokenAccess, nullptr, SecurityImpersonation,
                                          TokenPrimary, token->Put());
        }
        if (!duplicated)
        {
            return FailureCode();
        }

        const ProcessInfo self(GetCurrentProcessId());
        const std::string imagePath = Utf8FromUtf16(self.GetImagePath());
        const std::string arguments = Utf8FromUtf16(commandLine + L" /trusted");

        // The launcher's own business: neither set nor read here.
        std::uint64_t output; // NOLINT(cppcoreguidelines-init-variables)
        return launcher->Launch(imagePath.c_str(), arguments.c_str(), TokenValue(*token), self.GetProcessId(),
                                &output);
    }
    catch (const std::system_error& e)
    {
        // An error that carries no code still is an error.
        const auto code = static_cast<std::uint32_t>(e.code().value());
        return code != ERROR_SUCCESS ? code : kActionFailed;
    }
    catch (const std::bad_alloc&)
    {
        return kOutOfMemory;
    }
    catch (const std::exception&)
    {
        return kActionFailed;
    }
}
} // namespace Quelvo
