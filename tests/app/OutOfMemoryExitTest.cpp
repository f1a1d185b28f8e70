#include "app/OutOfMemoryExit.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>

namespace Quelvo
{
namespace
{
TEST(OutOfMemoryExitTest, OnlyAFailedAllocationEndsWithItsCode)
{
    const std::optional<DWORD> outOfMemory = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_EQ(outOfMemory, OutOfMemoryExitCode(std::make_exception_ptr(std::bad_alloc())));
    EXPECT_EQ(outOfMemory, OutOfMemoryExitCode(std::make_exception_ptr(std::bad_array_new_length())));
    EXPECT_EQ(std::nullopt, OutOfMemoryExitCode(std::make_exception_ptr(std::runtime_error("other"))));
    EXPECT_EQ(std::nullopt, OutOfMemoryExitCode(std::make_exception_ptr(42)));
    EXPECT_EQ(std::nullopt, OutOfMemoryExitCode(nullptr));
}
} // namespace
} // namespace Quelvo
