// The floor of a relaunch ("/av /disable" without "/trusted"): a duplicate of the own token, the own
// image path, the line in UTF-8, and the launcher's Launch.
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    using namespace Floor;
    LowerCasedCommandLine();
    return static_cast<int>(WithClient(
        [&](IFactory& factory, IEppClient* client)
        {
            return WithObject<ITrustedProcessLauncher>(
                [&](ITrustedProcessLauncher** object)
                { return factory.CreateTrustedProcessLauncher(object, client); },
                [&](ITrustedProcessLauncher& launcher)
                {
                    HANDLE own = nullptr;
                    if (!OpenProcessToken(GetCurrentProcess(),
                                          TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY, &own))
                    {
                        return GetLastError();
                    }
                    HANDLE token = nullptr;
                    const BOOL duplicated =
                        DuplicateTokenEx(own, 0x018B, nullptr, SecurityImpersonation, TokenPrimary, &token);
                    CloseHandle(own);
                    if (!duplicated)
                    {
                        return GetLastError();
                    }
                    wchar_t image[MAX_PATH] = {};
                    GetModuleFileNameW(nullptr, image, MAX_PATH);
                    const std::string path = Narrow(image);
                    const std::string arguments = Narrow(std::wstring(commandLine) + L" /trusted");
                    std::uint64_t output;
                    const DWORD result =
                        launcher.Launch(path.c_str(), arguments.c_str(),
                                        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(token)),
                                        GetCurrentProcessId(), &output);
                    CloseHandle(token);
                    return result;
                });
        }));
}
