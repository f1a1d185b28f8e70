// The entry point of remediation.exe: a GUI-subsystem program that shows no window.
#include "app/Dispatch.h"
#include "app/OutOfMemoryExit.h"
#include "app/ProcessHardening.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    // Nothing catches here; an allocation that fails outside every handler still ends with its code.
    Quelvo::EndOutOfMemoryWithItsCode();
    // Before anything can load a DLL by name.
    Quelvo::HardenDllSearch();
    // The whole 32-bit code becomes the process exit code.
    return static_cast<int>(Quelvo::RunTool(commandLine));
}
