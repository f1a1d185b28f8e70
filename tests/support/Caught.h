// The std::system_error an action raises, for tests that then check its code and message.
#pragma once

#include <gtest/gtest.h>

#include <system_error>

namespace Quelvo::Testing
{
// A test failure, and an error without a code, when the action raises none.
template <class Action>
std::system_error CaughtSystemError(Action action)
{
    try
    {
        action();
    }
    catch (const std::system_error& error)
    {
        return error;
    }
    ADD_FAILURE() << "no std::system_error";
    return std::system_error(std::error_code());
}
} // namespace Quelvo::Testing
