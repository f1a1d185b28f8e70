#include "Injection.h"

#include <cwchar>

namespace Quelvo::Injection
{
namespace
{
// Memory of another process, freed when the holder ends.
class RemoteMemory
{
public:
    RemoteMemory(HANDLE process, SIZE_T size)
        : m_process(process),
          m_address(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
    {
    }
    ~RemoteMemory()
    {
        if (m_address != nullptr)
        {
            VirtualFreeEx(m_process, m_address, 0, MEM_RELEASE);
        }
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    void* Address() const { return m_address; }

private:
    HANDLE m_process;
    void* m_address;
};
} // namespace

DWORD LoadLibraryInto(HANDLE process, const wchar_t* library)
{
    const SIZE_T size = (std::wcslen(library) + 1) * sizeof(wchar_t);
    const RemoteMemory path(process, size);
    if (path.Address() == nullptr || !WriteProcessMemory(process, path.Address(), library, size, nullptr))
    {
        return GetLastError();
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
