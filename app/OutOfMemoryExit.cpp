#include "app/OutOfMemoryExit.h"

#include <cstdlib>
#include <new>

namespace Quelvo
{
namespace
{
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): set once, before the tool runs
std::terminate_handler previousHandler = nullptr;

[[noreturn]] void TerminateForUncaught()
{
    if (const auto code = OutOfMemoryExitCode(std::current_exception()))
    {
        TerminateProcess(GetCurrentProcess(), *code);
    }
    if (previousHandler != nullptr)
    {
        previousHandler();
    }
    std::abort();
}
} // namespace

std::optional<DWORD> OutOfMemoryExitCode(const std::exception_ptr& exception) noexcept
{
    if (!exception)
    {
        return std::nullopt;
    }
    try
    {
        std::rethrow_exception(exception);
    }
    catch (const std::bad_alloc&)
    {
        // Also what rethrowing raises when there is no memory left to do it.
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    catch (...)
    {
        return std::nullopt;
    }
}

void EndOutOfMemoryWithItsCode()
{
    previousHandler = std::set_terminate(&TerminateForUncaught);
}
} // namespace Quelvo
