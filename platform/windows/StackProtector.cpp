// The run-time support of GCC's stack protector and of _FORTIFY_SOURCE for the Windows programs, in
// place of GCC's libssp. libssp seeds its guard through a CryptoAPI provider, which loads rsaenh.dll and
// with it crypt32, user32, gdi32 and more into every process before main: that doubled the time of
// the tool's short runs. Here the guard comes from RtlGenRandom in advapi32, which the programs import
// anyway, and a failed check ends the process at once, as MSVC's /GS does.
#include <windows.h>

#include <ntsecapi.h>

#include <cstdint>

namespace
{
constexpr DWORD kStackBufferOverrun = 0xC0000409; // STATUS_STACK_BUFFER_OVERRUN

[[noreturn]] void FailFast(unsigned int code)
{
    // __fastfail: the process ends without running any handler of its own.
    __asm__ __volatile__("int $0x29" : : "c"(code));
    TerminateProcess(GetCurrentProcess(), kStackBufferOverrun);
    __builtin_unreachable();
}
} // namespace

extern "C"
{
    // Read by every protected function on entry and on return. Until the set-up below runs it holds a
    // fixed value, so that code running before it still checks consistently.
    std::uintptr_t __stack_chk_guard = 0x2B992DDFA232ull;

    [[noreturn]] void __stack_chk_fail()
    {
        FailFast(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
    }

    // A checked copy (memcpy and the others of _FORTIFY_SOURCE) would have run past its destination.
    // The headers declare it first, with the GNU spelling of the attribute, which is the one that may
    // repeat.
    __attribute__((noreturn)) void __chk_fail()
    {
        FailFast(FAST_FAIL_RANGE_CHECK_FAILURE);
    }
}

namespace
{
// Before the C++ initializers, from the runtime's start-up code, which no protected frame calls: the
// guard changes while no frame that checks it is live. This file is built without the protector.
__attribute__((constructor(101))) void SetUpStackGuard()
{
    std::uintptr_t guard = 0;
    if (RtlGenRandom(&guard, sizeof(guard)) && guard != 0)
    {
        __stack_chk_guard = guard;
    }
}
} // namespace
