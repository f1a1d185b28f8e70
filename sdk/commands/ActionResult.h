// The one place where an action's failures become its exit code.
#pragma once

#include "base/ExitCodes.h"

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>

namespace Quelvo
{
// Runs the body of a protection command or of the UI launch and returns its code. A runtime error (a
// failed Win32 call, conversion or time stamp) is the action's own failure. Past those, nothing may end
// the process: a failed allocation is reported as such, anything else as a failed action. Whatever the
// body holds is released before its failure is turned into a code.
template <typename Body>
std::uint32_t ActionResult(Body&& body)
{
    try
    {
        return body();
    }
    catch (const std::runtime_error&)
    {
        return kActionFailed;
    }
    catch (const std::bad_alloc&)
    {
        return kOutOfMemory;
    }
    catch (const std::exception&)
    {
        return kActionFailed;
    }
}
} // namespace Quelvo
