#include "base/CheckedArithmetic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace Quelvo
{
namespace
{
template <class Exception, class Operation>
std::string MessageOf(Operation operation)
{
    try
    {
        operation();
    }
    catch (const Exception& e)
    {
        return e.what();
    }
    ADD_FAILURE() << "no exception of the expected type";
    return {};
}

constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();

TEST(CheckedAddTest, AddsUpToTheMaximumAndRaisesBeyond)
{
    EXPECT_EQ(kU64Max, CheckedAdd<std::uint64_t>(kU64Max, 0));
    EXPECT_EQ("18446744073709551615 + 1 = 0 (exceeds maximum allowed: 18446744073709551615)",
              MessageOf<std::overflow_error>([] { CheckedAdd<std::uint64_t>(kU64Max, 1); }));
    EXPECT_EQ(4294967295u, CheckedAdd<std::uint32_t>(4294967293u, 2u));
    EXPECT_EQ("4294967294 + 2 = 4294967296 (exceeds maximum allowed: 4294967295)",
              MessageOf<std::overflow_error>([] { CheckedAdd<std::uint32_t>(4294967294u, 2u); }));
}

TEST(CheckedAddTest, SignedYearFieldShowsTheExactResult)
{
    EXPECT_EQ(2147483647, CheckedAdd<int>(2147481747, 1900));
    EXPECT_EQ("2147482000 + 1900 = 2147483900 (exceeds maximum allowed: 2147483647)",
              MessageOf<std::overflow_error>([] { CheckedAdd<int>(2147482000, 1900); }));
    EXPECT_EQ("2147483647 + 1 = 2147483648 (exceeds maximum allowed: 2147483647)",
              MessageOf<std::overflow_error>([] { CheckedAdd<int>(2147483647, 1); }));
}

TEST(CheckedAddTest, SignedNegativeAddendBelowTheMinimumUnderflows)
{
    EXPECT_EQ(std::numeric_limits<int>::min(), CheckedAdd<int>(-2147483647, -1));
    EXPECT_EQ("-2147483648 + -1 = -2147483649 (below minimum allowed: -2147483648)",
              MessageOf<std::underflow_error>([] { CheckedAdd<int>(std::numeric_limits<int>::min(), -1); }));
}

TEST(CheckedSubTest, UnsignedBelowZeroUnderflowsWithTheWrappedResultShownSigned)
{
    EXPECT_EQ(0u, CheckedSub<std::uint64_t>(1, 1));
    EXPECT_EQ("0 - 1 = -1 (below minimum allowed: 0)",
              MessageOf<std::underflow_error>([] { CheckedSub<std::uint64_t>(0, 1); }));
    EXPECT_EQ("3 - 5 = -2 (below minimum allowed: 0)",
              MessageOf<std::underflow_error>([] { CheckedSub<std::uint32_t>(3u, 5u); }));
}

TEST(CheckedSubTest, SignedLimitsInBothDirections)
{
    EXPECT_EQ(kI64Min, CheckedSub<std::int64_t>(kI64Min, 0));
    EXPECT_EQ(kI64Min, CheckedSub<std::int64_t>(kI64Min + 1, 1));
    EXPECT_EQ(kI64Max, CheckedSub<std::int64_t>(kI64Max - 1, -1));
    EXPECT_EQ("-9223372036854775808 - 1 = 9223372036854775807 (below minimum allowed: -9223372036854775808)",
              MessageOf<std::underflow_error>([] { CheckedSub<std::int64_t>(kI64Min, 1); }));
    EXPECT_EQ(
        "9223372036854775807 - -1 = -9223372036854775808 (exceeds maximum allowed: 9223372036854775807)",
        MessageOf<std::overflow_error>([] { CheckedSub<std::int64_t>(kI64Max, -1); }));
    EXPECT_EQ("-2147483648 - 1 = -2147483649 (below minimum allowed: -2147483648)",
              MessageOf<std::underflow_error>([] { CheckedSub<int>(std::numeric_limits<int>::min(), 1); }));
}

TEST(CheckedMulTest, UnsignedProducts)
{
    EXPECT_EQ(4294967294u, CheckedMul<std::uint32_t>(2147483647u, 2u));
    EXPECT_EQ(0u, CheckedMul<std::uint32_t>(0u, 2u));
    EXPECT_EQ(0u, CheckedMul<std::uint32_t>(4294967295u, 0u));
    EXPECT_EQ(2u, CheckedMul<std::uint32_t>(1u, 2u));
    EXPECT_EQ(4294967295u, CheckedMul<std::uint32_t>(4294967295u, 1u));
    EXPECT_EQ("2147483648 * 2 would exceed maximum allowed result: 4294967295",
              MessageOf<std::overflow_error>([] { CheckedMul<std::uint32_t>(2147483648u, 2u); }));
    EXPECT_EQ("9223372036854775808 * 2 would exceed maximum allowed result: 18446744073709551615",
              MessageOf<std::overflow_error>([] { CheckedMul<std::uint64_t>(9223372036854775808ull, 2); }));
}

TEST(CheckedMulTest, SignedProductsAtTheLimits)
{
    EXPECT_EQ(std::numeric_limits<int>::min(), CheckedMul<int>(-1073741824, 2));
    EXPECT_EQ(2147483646, CheckedMul<int>(-1073741823, -2));
    EXPECT_THROW(CheckedMul<int>(1073741824, 2), std::overflow_error);
    EXPECT_THROW(CheckedMul<int>(-1073741825, 2), std::underflow_error);
    EXPECT_THROW(CheckedMul<int>(std::numeric_limits<int>::min(), -1), std::overflow_error);
}
} // namespace
} // namespace Quelvo
