// A failure of the service layer that carries no Win32 code of its own: a time-out, an unexpected state,
// a misuse. It is deliberately not a std::system_error, so that callers can tell the two apart.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace Quelvo
{
class ServiceError : public std::exception
{
public:
    explicit ServiceError(std::string message) : m_message(std::move(message)) {}

    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};
} // namespace Quelvo
