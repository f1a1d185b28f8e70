// A probe of the C runtime's start-up, a GUI program as the tool is, whose own code does nothing and exits
// with 0: the exit code is what the start-up made of a failed allocation. A TLS callback, which the loader
// runs before the program's entry point, makes the program's Nth call of malloc (through its import slot,
// where the runtime's start-up and the C++ library's operator new call it) return null, N from
// QUELVO_FAIL_MALLOC.
#include <windows.h>

#include <cstddef>

extern "C" void* (*__imp_malloc)(std::size_t);

namespace
{
void* (*g_malloc)(std::size_t) = nullptr;
unsigned long g_failedCall = 0;
unsigned long g_calls = 0;

void* FailingMalloc(std::size_t size)
{
    return ++g_calls == g_failedCall ? nullptr : g_malloc(size);
}

// The C runtime is not set up yet: the variable's digits are read by hand.
unsigned long FailedCallFromEnvironment()
{
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"QUELVO_FAIL_MALLOC", text, 16);
    unsigned long call = 0;
    for (DWORD i = 0; i < length && i < 15 && text[i] >= L'0' && text[i] <= L'9'; ++i)
    {
        call = call * 10 + static_cast<unsigned long>(text[i] - L'0');
    }
    return call;
}

void NTAPI ReplaceMalloc(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_PROCESS_ATTACH || g_malloc != nullptr)
    {
        return;
    }
    g_failedCall = FailedCallFromEnvironment();
    DWORD protection = 0;
    if (g_failedCall == 0 ||
        !VirtualProtect(&__imp_malloc, sizeof(__imp_malloc), PAGE_READWRITE, &protection))
    {
        return;
    }
    g_malloc = __imp_malloc;
    __imp_malloc = FailingMalloc;
    VirtualProtect(&__imp_malloc, sizeof(__imp_malloc), protection, &protection);
}
} // namespace

// Between the runtime's own callbacks (.CRT$XLA to .CRT$XLZ), in the image's TLS directory.
extern "C" __attribute__((section(".CRT$XLY"), used))
const PIMAGE_TLS_CALLBACK quelvo_startup_probe_callback = ReplaceMalloc;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Kept by the link, which drops what nothing names.
    return quelvo_startup_probe_callback == nullptr ? ERROR_INVALID_FUNCTION : 0;
}
