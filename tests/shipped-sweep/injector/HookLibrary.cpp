// The library loaded into every swept process. On attach it maps the sweep's ledger and points each of
// the main module's import slots that has a row at that row's thunk; GetProcAddress hands out thunks
// too, so functions resolved at run time and delayed imports are counted and failed alike. Processes
// that a product library (one beside the tool) starts are started with this library inside them.
#include "HookState.h"
#include "ImportPatcher.h"
#include "Injection.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

extern "C" char quelvo_thunks[];

namespace Quelvo::Injection
{
namespace
{
#if defined(__aarch64__) || defined(_M_ARM64)
constexpr std::uintptr_t kThunkSize = 8;
#else
constexpr std::uintptr_t kThunkSize = 16;
#endif

HookState g_state;
HMODULE g_self = nullptr;
wchar_t g_selfPath[MAX_PATH * 2] = {};
wchar_t g_toolFolder[MAX_PATH * 2] = {};

// The folder of a module's file, with its final backslash, in lower case.
void FolderOf(HMODULE module, wchar_t* folder, DWORD size)
{
    const DWORD length = GetModuleFileNameW(module, folder, size);
    DWORD end = 0;
    for (DWORD i = 0; i < length; ++i)
    {
        folder[i] = static_cast<wchar_t>(towlower(folder[i]));
        if (folder[i] == L'\\')
        {
            end = i + 1;
        }
    }
    folder[end] = L'\0';
}

// Processes that the product starts (its trusted launcher) get the hook library too.
BOOL WINAPI FollowingCreateProcessW(const wchar_t* application, wchar_t* commandLine,
                                    SECURITY_ATTRIBUTES* processAttributes,
                                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD flags,
                                    void* environment, const wchar_t* directory, STARTUPINFOW* startup,
                                    PROCESS_INFORMATION* information)
{
    const BOOL started =
        CreateInjectedProcess(g_selfPath, application, commandLine, processAttributes, threadAttributes,
                              inheritHandles, flags, environment, directory, startup, information);
    InterlockedIncrement(started ? &g_state.ledger->followed : &g_state.ledger->followFailures);
    return started;
}

BOOL WINAPI FollowingCreateProcessAsUserW(HANDLE token, const wchar_t* application, wchar_t* commandLine,
                                          SECURITY_ATTRIBUTES* processAttributes,
                                          SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                          DWORD flags, void* environment, const wchar_t* directory,
                                          STARTUPINFOW* startup, PROCESS_INFORMATION* information)
{
    if (!CreateProcessAsUserW(token, application, commandLine, processAttributes, threadAttributes,
                              inheritHandles, flags | CREATE_SUSPENDED, environment, directory, startup,
                              information))
    {
        InterlockedIncrement(&g_state.ledger->followFailures);
        return FALSE;
    }
    const DWORD injected = LoadLibraryInto(information->hProcess, g_selfPath);
    InterlockedIncrement(injected == ERROR_SUCCESS ? &g_state.ledger->followed
                                                   : &g_state.ledger->followFailures);
    if ((flags & CREATE_SUSPENDED) == 0)
    {
        ResumeThread(information->hThread);
    }
    return TRUE;
}

void* FollowRewrite(const char*, const char* name, void*, bool)
{
    if (std::strcmp(name, "CreateProcessW") == 0)
    {
        return reinterpret_cast<void*>(&FollowingCreateProcessW);
    }
    if (std::strcmp(name, "CreateProcessAsUserW") == 0)
    {
        return reinterpret_cast<void*>(&FollowingCreateProcessAsUserW);
    }
    return nullptr;
}

// A library of the product (it lies beside the tool) has its process starts followed, once.
void FollowStartsOf(HMODULE module)
{
    static HMODULE followed[16] = {};
    if (module == nullptr || module == g_self || reinterpret_cast<std::uintptr_t>(module) == g_state.toolBase)
    {
        return;
    }
    for (HMODULE& entry : followed)
    {
        if (entry == module)
        {
            return;
        }
        if (entry == nullptr)
        {
            wchar_t folder[MAX_PATH * 2] = {};
            FolderOf(module, folder, MAX_PATH * 2);
            if (std::wcscmp(folder, g_toolFolder) == 0)
            {
                entry = module;
                RewriteImports(module, &FollowRewrite);
            }
            return;
        }
    }
}

// What the tool's GetProcAddress slot leads to, through its thunk.
FARPROC WINAPI ResolvingGetProcAddress(HMODULE module, const char* name)
{
    const FARPROC function = GetProcAddress(module, name);
    const DWORD error = GetLastError();
    FollowStartsOf(module);
    if (function == nullptr || IS_INTRESOURCE(name))
    {
        SetLastError(error);
        return function;
    }
    const std::uint32_t row = ConventionRow(name);
    if (row == kConventionCount)
    {
        SetLastError(error);
        return function;
    }
    if (g_state.delayPending[row])
    {
        // The delay-load helper asks; it then jumps to what it gets, which is this row's thunk again.
        g_state.delayPending[row] = false;
        g_state.skipRow = row;
        g_state.skipThread = GetCurrentThreadId();
    }
    g_state.real[row] = reinterpret_cast<void*>(function);
    g_state.ledger->hookedRows[row] = 1;
    SetLastError(error);
    return reinterpret_cast<FARPROC>(ThunkOf(row));
}

void* ToolRewrite(const char*, const char* name, void* current, bool delayed)
{
    const std::uint32_t row = ConventionRow(name);
    if (row == kConventionCount)
    {
        InterlockedIncrement(&g_state.ledger->unknownImports);
        return nullptr;
    }
    if (kConventions[row].kind == Kind::Data)
    {
        return nullptr;
    }
    g_state.real[row] = std::strcmp(name, "GetProcAddress") == 0
                            ? reinterpret_cast<void*>(&ResolvingGetProcAddress)
                            : current;
    g_state.delayPending[row] = delayed;
    g_state.ledger->hookedRows[row] = 1;
    return ThunkOf(row);
}

bool Attach(HMODULE self)
{
    g_self = self;
    wchar_t name[128] = {};
    if (GetEnvironmentVariableW(kLedgerVariable, name, 128) == 0)
    {
        return true; // not swept: nothing to do
    }
    const HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (mapping == nullptr)
    {
        return false;
    }
    g_state.ledger = static_cast<Ledger*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Ledger)));
    CloseHandle(mapping);
    if (g_state.ledger == nullptr)
    {
        return false;
    }
    GetModuleFileNameW(self, g_selfPath, MAX_PATH * 2);
    const HMODULE tool = GetModuleHandleW(nullptr);
    FolderOf(tool, g_toolFolder, MAX_PATH * 2);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(tool);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(tool) + dos->e_lfanew);
    g_state.toolBase = reinterpret_cast<std::uintptr_t>(tool);
    g_state.toolEnd = g_state.toolBase + nt->OptionalHeader.SizeOfImage;
    g_state.process = static_cast<std::uint32_t>(InterlockedIncrement(&g_state.ledger->processes) - 1);
    // A swept process that crashes ends with its code at once: no debugger starts.
    SetErrorMode(GetErrorMode() | SEM_NOGPFAULTERRORBOX);
    RewriteImports(tool, &ToolRewrite);
    return true;
}
} // namespace

HookState& State()
{
    return g_state;
}

void* ThunkOf(std::uint32_t row)
{
    return quelvo_thunks + row * kThunkSize;
}
} // namespace Quelvo::Injection

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        DisableThreadLibraryCalls(instance);
        return Quelvo::Injection::Attach(instance) ? TRUE : FALSE;
    }
    return TRUE;
}
