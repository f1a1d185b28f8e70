// A DLL that leaves a mark when it loads: the process's environment variable QUELVO_PLANTED_LOADED
// names the file it was loaded from.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(instance, path, MAX_PATH);
        SetEnvironmentVariableW(L"QUELVO_PLANTED_LOADED", path);
    }
    return TRUE;
}
