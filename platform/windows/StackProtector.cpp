// The run-time support of the stack protector and of _FORTIFY_SOURCE for the Windows programs, in
// place of GCC's libssp (which the runtime built from source does not have). libssp seeds its guard through a
// CryptoAPI provider, which loads rsaenh.dll and with it crypt32, user32, gdi32 and more into every process
// before main: that doubled the time of the tool's short runs. Here the loader seeds the guard, where the
// image's load configuration names it (lld links), or else RtlGenRandom in advapi32, which the programs
// import anyway; a failed check ends the process at once, as MSVC's /GS does.
#include "platform/windows/FailFast.h"

#include <windows.h>

#include <ntsecapi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

using Quelvo::FailFast;

namespace
{
// The x64 default of a security cookie: the value the loader looks for before it seeds one.
constexpr std::uintptr_t kDefaultSecurityCookie = 0x00002B992DDFA232ull;
} // namespace

extern "C"
{
    // Read by every protected function on entry and on return. The load configuration names it as the
    // image's security cookie; until the loader or the set-up below seeds it, it holds the default, so
    // that code running before either still checks consistently.
    std::uintptr_t __stack_chk_guard = kDefaultSecurityCookie;

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
void CheckRoom(std::size_t needed, std::size_t room)
{
    if (needed > room)
    {
        __chk_fail();
    }
}
} // namespace

// The checked copies end in the C library's own functions, which the SDK rules mark deprecated as MSVC's
// headers do; after the check they are what is meant.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
extern "C"
{
    // The checked copies that MinGW-w64's headers call under _FORTIFY_SOURCE, with the size of the
    // destination as the compiler knows it last.
    void* __memcpy_chk(void* destination, const void* source, std::size_t count, std::size_t room)
    {
        CheckRoom(count, room);
        return std::memcpy(destination, source, count);
    }

    void* __memmove_chk(void* destination, const void* source, std::size_t count, std::size_t room)
    {
        CheckRoom(count, room);
        return std::memmove(destination, source, count);
    }

    void* __mempcpy_chk(void* destination, const void* source, std::size_t count, std::size_t room)
    {
        CheckRoom(count, room);
        return static_cast<char*>(std::memcpy(destination, source, count)) + count;
    }

    void* __memset_chk(void* destination, int value, std::size_t count, std::size_t room)
    {
        CheckRoom(count, room);
        return std::memset(destination, value, count);
    }

    char* __strcpy_chk(char* destination, const char* source, std::size_t room)
    {
        CheckRoom(std::strlen(source) + 1, room);
        return std::strcpy(destination, source);
    }

    char* __strncpy_chk(char* destination, const char* source, std::size_t count, std::size_t room)
    {
        CheckRoom(count, room);
        return std::strncpy(destination, source, count);
    }

    char* __strcat_chk(char* destination, const char* source, std::size_t room)
    {
        CheckRoom(std::strlen(destination) + std::strlen(source) + 1, room);
        return std::strcat(destination, source);
    }

    char* __strncat_chk(char* destination, const char* source, std::size_t count, std::size_t room)
    {
        CheckRoom(std::strlen(destination) + strnlen(source, count) + 1, room);
        return std::strncat(destination, source, count);
    }
}
#pragma GCC diagnostic pop

namespace
{
// Before the C++ initializers, from the runtime's start-up code, which no protected frame calls: the
// guard changes while no frame that checks it is live. This file is built without the protector.
// A guard the loader has seeded is kept. The read is volatile: the compiler must not take the guard
// for its initial value, which the loader has replaced before any code ran.
__attribute__((constructor(101))) void SetUpStackGuard()
{
    if (*static_cast<volatile std::uintptr_t*>(&__stack_chk_guard) != kDefaultSecurityCookie)
    {
        return;
    }
    std::uintptr_t guard = 0;
    if (RtlGenRandom(&guard, sizeof(guard)) && guard != 0)
    {
        __stack_chk_guard = guard;
    }
}
} // namespace
