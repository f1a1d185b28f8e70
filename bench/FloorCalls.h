// The platform calls that a run of remediation.exe cannot do without, each made once and as plainly as
// Win32 allows: the floor programs of scripts/bench are built from these. No checks beyond what keeps
// a floor from crashing: a floor measures cost, not behaviour.
#pragma once

#include "app/CommandLine.h"
#include "sdk/EndpointProtectionSdk.h"

#include <windows.h>

#include <string>

namespace Floor
{
using namespace Quelvo::EndpointProtectionSdk;

// Opens the SCM and the service with `access`, as every service operation of the tool does.
inline SC_HANDLE OpenProductService(SC_HANDLE& manager, DWORD access)
{
    manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    return manager != nullptr ? OpenServiceW(manager, L"EndpointProtectionService", access) : nullptr;
}

inline void CloseProductService(SC_HANDLE manager, SC_HANDLE service)
{
    if (service != nullptr)
    {
        CloseServiceHandle(service);
    }
    if (manager != nullptr)
    {
        CloseServiceHandle(manager);
    }
}

// The product service's check: whether the service exists (the SCM and the service opened and closed),
// then its status (both opened again, and the status queried).
inline bool ProductServiceRunning()
{
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = OpenProductService(manager, SERVICE_QUERY_STATUS);
    const bool exists = service != nullptr;
    CloseProductService(manager, service);
    SERVICE_STATUS_PROCESS status{};
    if (exists)
    {
        service = OpenProductService(manager, SERVICE_QUERY_STATUS);
        DWORD needed = 0;
        if (service != nullptr)
        {
            QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                 sizeof(status), &needed);
        }
        CloseProductService(manager, service);
    }
    return status.dwCurrentState == SERVICE_RUNNING;
}

// What every line of the tool does first: its command line lower-cased, by the tool's own function.
inline std::wstring LowerCasedCommandLine()
{
    return Quelvo::LowerCasedCommandLine(GetCommandLineW());
}

// The client library next to the running program.
inline std::wstring LibraryPath()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + kClientLibraryName;
}

// Loads the library, creates and connects a client, runs `use(factory, client)`, and lets everything go.
template <class Use>
DWORD WithClient(Use use)
{
    const HMODULE library = LoadLibraryExW(LibraryPath().c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (library == nullptr)
    {
        return GetLastError();
    }
    const auto proc = GetProcAddress(library, kFactoryExportName);
    DWORD result = ERROR_GEN_FAILURE;
    if (proc != nullptr)
    {
        IFactory* factory = reinterpret_cast<FactoryFunction>(reinterpret_cast<void (*)()>(proc))();
        IEppClient* client = nullptr;
        if (factory != nullptr && factory->CreateEppClient(&client, 0) == 0 && client != nullptr)
        {
            result = client->Connect(10000);
            if (result == 0)
            {
                result = use(*factory, client);
            }
            client->Release();
        }
    }
    FreeLibrary(library);
    return result;
}

// Creates one object of the library, runs `use(object)` and releases it.
template <class T, class Create, class Use>
DWORD WithObject(Create create, Use use)
{
    T* object = nullptr;
    if (create(&object) != 0 || object == nullptr)
    {
        return ERROR_CANCELLED;
    }
    const DWORD result = use(*object);
    object->Release();
    return result;
}

// Releases a string that the library handed out, by the library's own rule.
inline void Release(SdkString& text)
{
    if (text.owner != nullptr && text.release != nullptr)
    {
        text.release(text.owner);
    }
    else if (text.owner != nullptr && text.releaseWithContext != nullptr)
    {
        text.releaseWithContext(text.owner, text.context);
    }
}

inline std::wstring Wide(const char* text)
{
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), size);
    wide.pop_back();
    return wide;
}

inline std::string Narrow(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, narrow.data(), size, nullptr,
                        nullptr);
    narrow.pop_back();
    return narrow;
}
} // namespace Floor
