// Every C++ throw of a simulated program goes through here (the link wraps __cxa_throw): the shipped
// runtime's unwinder asks for its per-thread state with TlsGetValue, which clears the last error on
// success, so by the time a handler runs the thread's last error is 0. The simulated thread's is too.
#include <windows.h>

#include <typeinfo>

extern "C"
{
    [[noreturn]] void __real___cxa_throw(void* thrown, std::type_info* type, void (*destructor)(void*));

    [[noreturn]] void __wrap___cxa_throw(void* thrown, std::type_info* type, void (*destructor)(void*))
    {
        SetLastError(ERROR_SUCCESS);
        __real___cxa_throw(thrown, type, destructor);
    }
}
