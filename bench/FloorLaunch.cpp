// The floor of "/launch": the UI path from the configuration, then starting the UI without waiting.
#include "bench/FloorCalls.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    using namespace Floor;
    LowerCasedCommandLine();
    std::wstring uiPath;
    const DWORD asked = WithClient(
        [&](IFactory& factory, IEppClient* client)
        {
            return WithObject<IConfiguration>([&](IConfiguration** object)
                                              { return factory.CreateConfiguration(object, client); },
                                              [&](IConfiguration& configuration)
                                              {
                                                  SdkString path{};
                                                  const DWORD result = configuration.GetUiPath(&path);
                                                  if (path.text != nullptr)
                                                  {
                                                      uiPath = Wide(path.text);
                                                  }
                                                  Release(path);
                                                  return result;
                                              });
        });
    if (asked != 0 || uiPath.empty())
    {
        return static_cast<int>(asked);
    }
    std::wstring commandLine = L"\"" + uiPath.substr(uiPath.find_last_of(L'\\') + 1) + L"\" ";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // The UI's own console and process group, at normal priority, as the product expects it started.
    constexpr DWORD flags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_NEW_PROCESS_GROUP;
    if (!CreateProcessW(uiPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &process))
    {
        return static_cast<int>(GetLastError());
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
