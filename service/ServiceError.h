// A failure of the service layer that carries no Win32 code of its own: a time-out, an unexpected state,
// a misuse. It is deliberately not a std::system_error, so that callers can tell the two apart. It keeps
// the thread's last error as it stood where the failure was raised: the throw itself may clear it.
#pragma once

#include <windows.h>

#include <exception>
#include <string>
#include <utility>

namespace Quelvo
{
class ServiceError : public std::exception
{
public:
    // Takes the thread's last error before anything else.
    explicit ServiceError(const char* message) : m_lastError(GetLastError()), m_message(message) {}
    // For a built message: the last error read before the message was built.
    ServiceError(DWORD lastError, std::string message) : m_lastError(lastError), m_message(std::move(message))
    {
    }

    const char* what() const noexcept override { return m_message.c_str(); }

    // The thread's last error when the failure was raised (0 if none was set).
    DWORD LastError() const noexcept { return m_lastError; }

private:
    DWORD m_lastError;
    std::string m_message;
};
} // namespace Quelvo
