// The one place where an action's failure becomes its exit code.
#pragma once

#include "base/ExitCodes.h"

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>

namespace Quelvo
{
// The code of the exception being handled; called only from a catch (...) that encloses a protection
// command or the UI launch, after their objects are released. A runtime error (a failed Win32 call,
// conversion or time stamp) is the action's own failure. Past those, nothing may end the process: a
// failed allocation is reported as such, anything else as a failed action. An exception of no standard
// type goes on up, as it always did.
inline std::uint32_t ActionFailureCode()
{
    try
    {
        throw;
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
