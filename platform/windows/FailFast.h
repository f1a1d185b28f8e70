// __fastfail, which MinGW-w64's headers do not declare: the process ends at once with
// STATUS_STACK_BUFFER_OVERRUN and the given FAST_FAIL_* code, running no handler of its own, as
// MSVC's /GS and Control Flow Guard end it.
#pragma once

#include <windows.h>

namespace Quelvo
{
[[noreturn]] inline void FailFast(unsigned int code)
{
    // Windows 7 has no fast-fail service: its `int 0x29` raises an access violation, which the
    // process's own exception handlers would see, on memory already corrupted. Ask first, as MSVC's
    // runtime does, and end the process from outside the exception path where the service is missing.
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE))
    {
#if defined(__aarch64__)
        register unsigned long long failureCode __asm__("x0") = code;
        __asm__ __volatile__("brk #0xf003" : : "r"(failureCode));
#else
        __asm__ __volatile__("int $0x29" : : "c"(code));
#endif
    }
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}
} // namespace Quelvo
