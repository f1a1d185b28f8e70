#include "service/OpenServiceHandle.h"

#include "base/Format.h"
#include "base/Win32Error.h"
#include "service/WindowsServiceManager.h"

namespace Quelvo
{
ScHandle OpenServiceHandle(const std::wstring& name, DWORD access)
{
    const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
    {
        ThrowLastError("OpenSCManagerW failed!");
    }
    ScHandle service(OpenServiceW(manager.Get(), name.c_str(), access));
    if (!service)
    {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST)
        {
            throw WindowsServiceManager::ServiceDoesNotExist(name);
        }
        ThrowWin32Error(code, Format("Could not open service '{}'!", name));
    }
    return service;
}
} // namespace Quelvo
