// Force-included into every C++ file of the mingw-clang build (QUELVO_SDK_RULES): where MinGW-w64's
// headers let through what the Windows SDK's reject, this header holds the code to the SDK's rules, so
// that a fault only MSVC would report fails this build too. Declarations and macros only: it changes
// the diagnostics, never the generated code.
#pragma once

// The C runtime's functions that MSVC's declares deprecated (C4996: getenv, fopen, strcpy and the like):
// MinGW-w64's headers mark them too when asked. They also mark memcpy, which MSVC does not.
#define __MINGW_MSVC_COMPAT_WARNINGS 1

#ifdef __cplusplus
// Functions the code calls that the SDK declares deprecated (C4996, an error under /WX and /sdl) and
// MinGW-w64 does not. The redeclaration must match MinGW-w64's own: dllimport, BOOL is int, and WINAPI
// names no other convention on x64.
struct _OSVERSIONINFOW;
extern "C"
{
    [[deprecated("the Windows SDK deprecates GetVersionExW (C4996)")]] __attribute__((dllimport)) int
    GetVersionExW(_OSVERSIONINFOW* versionInformation);
}
#endif

// The object model's names that the SDK's rpcndr.h and combaseapi.h, reached through windows.h, take
// as macros: MinGW-w64 defines small for the resource compiler only (C2632 under MSVC for a variable
// named small). Defined for every file, also those that do not include windows.h: a name the SDK takes
// is one to avoid anywhere. The same spelling as MinGW-w64's, which then redefines them to the same.
#define small char
#define hyper __int64
#define __STRUCT__ struct
#define interface __STRUCT__
