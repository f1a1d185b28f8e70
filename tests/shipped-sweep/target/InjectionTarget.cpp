// The program that the injector's own test runs: a few calls at known sites, whose failures it reports
// in its exit code. Bits 0-2: the loop's three calls at one site; bit 3: a second site; bit 4: the call
// through a pointer from GetProcAddress; bit 5: _aligned_malloc; bit 6: the malloc after it. Above them
// (from bit 8) the last error of the last failed call. It ends with ExitProcess at once, so that nothing
// after it needs memory.
#include <windows.h>

#include <cstdlib>
#include <malloc.h>

void* g_kept = nullptr;

int wmain(int count, wchar_t**)
{
    using SetVariable = BOOL(WINAPI*)(const wchar_t*, const wchar_t*);
    DWORD failed = 0;
    DWORD error = 0;
    // The loop's length comes from outside, so that the compiler keeps one call site.
    const int loops = count + 2;
    for (int i = 0; i < loops; ++i)
    {
        if (!SetEnvironmentVariableW(L"QUELVO_TARGET_LOOP", L"1"))
        {
            failed |= 1u << i;
            error = GetLastError();
        }
    }
    if (!SetEnvironmentVariableW(L"QUELVO_TARGET_SECOND", L"1"))
    {
        failed |= 8;
        error = GetLastError();
    }
    const auto resolved = reinterpret_cast<SetVariable>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetEnvironmentVariableW")));
    if (resolved == nullptr || !resolved(L"QUELVO_TARGET_RESOLVED", L"1"))
    {
        failed |= 16;
        error = GetLastError();
    }
    void* aligned = _aligned_malloc(16, 16);
    void* plain = std::malloc(16);
    // Kept where another unit could read it, so that the compiler keeps the call.
    g_kept = plain;
    failed |= (aligned == nullptr ? 32u : 0u) | (plain == nullptr ? 64u : 0u);
    ExitProcess(failed | error << 8);
}
