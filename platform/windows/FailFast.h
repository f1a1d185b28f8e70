// __fastfail, which MinGW-w64's headers do not declare: the process ends at once with
// STATUS_STACK_BUFFER_OVERRUN and the given FAST_FAIL_* code, running no handler of its own, as
// MSVC's /GS and Control Flow Guard end it.
#pragma once

#include <windows.h>

namespace Quelvo
{
[[noreturn]] inline void FailFast(unsigned int code)
{
#if defined(__aarch64__)
    register unsigned int codeRegister __asm__("x0") = code;
    __asm__ __volatile__("brk #0xF003" : : "r"(codeRegister));
#else
    __asm__ __volatile__("int $0x29" : : "c"(code));
#endif
    // Only a system older than Windows 8 returns from the interrupt.
    constexpr UINT kStackBufferOverrun = 0xC0000409; // STATUS_STACK_BUFFER_OVERRUN
    TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    __builtin_unreachable();
}
} // namespace Quelvo
