// Opens one service by its key name through a short-lived connection to the Service Control Manager.
#pragma once

#include "service/ScHandle.h"

#include <string>

namespace Quelvo
{
// The service opened with `access`. A missing service raises WindowsServiceManager::ServiceDoesNotExist,
// every other failure std::system_error with the Win32 code.
ScHandle OpenServiceHandle(const std::wstring& name, DWORD access);
} // namespace Quelvo
