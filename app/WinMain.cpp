// The entry point of remediation.exe: a GUI-subsystem program that shows no window.
#include "app/Dispatch.h"
#include "app/ProcessHardening.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    // Before anything can load a DLL by name.
    Quelvo::HardenDllSearch();
    // The whole 32-bit code becomes the process exit code.
    return static_cast<int>(Quelvo::RunTool(commandLine));
}
