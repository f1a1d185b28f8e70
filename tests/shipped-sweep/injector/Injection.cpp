#include "Injection.h"

#include <algorithm>
#include <cwchar>

namespace Quelvo::Injection
{
namespace
{
using MapViewOfSection = LONG(NTAPI*)(HANDLE section, HANDLE process, void** base, ULONG_PTR zeroBits,
                                      SIZE_T commitSize, LARGE_INTEGER* offset, SIZE_T* viewSize,
                                      DWORD inherit, ULONG allocationType, ULONG protection);
using UnmapViewOfSection = LONG(NTAPI*)(HANDLE process, void* base);
constexpr DWORD kViewUnmap = 2;

template <typename Function>
Function NtdllExport(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// A copy of some bytes in another process, for as long as the holder lives. It is a view of a section
// mapped into both processes rather than written with WriteProcessMemory: the ARM64 Wine under qemu
// cannot write another process's memory (access denied), while it maps views as any process does.
class RemoteCopy
{
public:
    RemoteCopy(HANDLE process, const void* bytes, SIZE_T size) : m_process(process)
    {
        m_section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       static_cast<DWORD>(size), nullptr);
        if (m_section == nullptr)
        {
            m_error = GetLastError();
            return;
        }
        void* local = MapViewOfFile(m_section, FILE_MAP_WRITE, 0, 0, size);
        if (local == nullptr)
        {
            m_error = GetLastError();
            return;
        }
        std::copy_n(static_cast<const BYTE*>(bytes), size, static_cast<BYTE*>(local));
        UnmapViewOfFile(local);
        SIZE_T viewSize = 0;
        const LONG status = NtdllExport<MapViewOfSection>("NtMapViewOfSection")(
            m_section, process, &m_remote, 0, 0, nullptr, &viewSize, kViewUnmap, 0, PAGE_READONLY);
        if (status < 0)
        {
            m_remote = nullptr;
            m_error = ERROR_ACCESS_DENIED;
        }
    }
    ~RemoteCopy()
    {
        if (m_remote != nullptr)
        {
            NtdllExport<UnmapViewOfSection>("NtUnmapViewOfSection")(m_process, m_remote);
        }
        if (m_section != nullptr)
        {
            CloseHandle(m_section);
        }
    }
    RemoteCopy(const RemoteCopy&) = delete;
    RemoteCopy& operator=(const RemoteCopy&) = delete;

    void* Address() const { return m_remote; }
    DWORD Error() const { return m_error; }

private:
    HANDLE m_process;
    HANDLE m_section = nullptr;
    void* m_remote = nullptr;
    DWORD m_error = ERROR_SUCCESS;
};
} // namespace

DWORD LoadLibraryInto(HANDLE process, const wchar_t* library)
{
    const RemoteCopy path(process, library, (std::wcslen(library) + 1) * sizeof(wchar_t));
    if (path.Address() == nullptr)
    {
        return path.Error();
    }
    // kernel32 lies at the same address in every process of the session.
    const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    const HANDLE thread = CreateRemoteThread(process, nullptr, 0, loadLibrary, path.Address(), 0, nullptr);
    if (thread == nullptr)
    {
        return GetLastError();
    }
    WaitForSingleObject(thread, INFINITE);
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    CloseHandle(thread);
    // The thread's code is the low half of the module handle: 0 when the library did not load.
    return loaded != 0 ? ERROR_SUCCESS : ERROR_DLL_INIT_FAILED;
}

BOOL CreateInjectedProcess(const wchar_t* library, const wchar_t* application, wchar_t* commandLine,
                           SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes,
                           BOOL inheritHandles, DWORD flags, void* environment, const wchar_t* directory,
                           STARTUPINFOW* startup, PROCESS_INFORMATION* information)
{
    if (!CreateProcessW(application, commandLine, processAttributes, threadAttributes, inheritHandles,
                        flags | CREATE_SUSPENDED, environment, directory, startup, information))
    {
        return FALSE;
    }
    const DWORD injected = LoadLibraryInto(information->hProcess, library);
    if (injected != ERROR_SUCCESS)
    {
        TerminateProcess(information->hProcess, injected);
        CloseHandle(information->hThread);
        CloseHandle(information->hProcess);
        SetLastError(injected);
        return FALSE;
    }
    if ((flags & CREATE_SUSPENDED) == 0)
    {
        ResumeThread(information->hThread);
    }
    return TRUE;
}
} // namespace Quelvo::Injection
