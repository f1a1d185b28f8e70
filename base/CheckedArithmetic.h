// Integer arithmetic that never wraps silently: a result that does not fit the operand type raises a
// standard exception whose message shows the operands. It needs nothing of the project's own: the text
// conversion and the formatting build on it.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace Quelvo
{
template <class T>
concept CheckedInteger = std::integral<T> && !std::same_as<T, bool>;

namespace checked_detail
{
// Operands and limits print in decimal in their own type (chars as numbers, not as characters).
template <CheckedInteger T>
std::string Printable(T value)
{
    if constexpr (std::is_signed_v<T>)
    {
        return std::to_string(static_cast<std::int64_t>(value));
    }
    else
    {
        return std::to_string(static_cast<std::uint64_t>(value));
    }
}

// The result as a signed 64-bit number: exact for narrower operands, the wrapped value for 64-bit ones.
template <CheckedInteger T>
std::int64_t Result(T a, T b, char sign)
{
    if constexpr (sizeof(T) < sizeof(std::int64_t))
    {
        const auto wide_a = static_cast<std::int64_t>(a);
        const auto wide_b = static_cast<std::int64_t>(b);
        return sign == '+' ? wide_a + wide_b : wide_a - wide_b;
    }
    else
    {
        const auto bits_a = static_cast<std::uint64_t>(a);
        const auto bits_b = static_cast<std::uint64_t>(b);
        return static_cast<std::int64_t>(sign == '+' ? bits_a + bits_b : bits_a - bits_b);
    }
}

// "a + b = result" with the result as a signed 64-bit number.
template <CheckedInteger T>
std::string Operation(T a, char sign, T b)
{
    return Printable(a) + ' ' + sign + ' ' + Printable(b) + " = " + std::to_string(Result(a, b, sign));
}

template <CheckedInteger T>
[[noreturn]] void Overflow(T a, char sign, T b)
{
    throw std::overflow_error(Operation(a, sign, b) +
                              " (exceeds maximum allowed: " + Printable(std::numeric_limits<T>::max()) + ")");
}

template <CheckedInteger T>
[[noreturn]] void Underflow(T a, char sign, T b)
{
    throw std::underflow_error(Operation(a, sign, b) +
                               " (below minimum allowed: " + Printable(std::numeric_limits<T>::min()) + ")");
}
} // namespace checked_detail

template <CheckedInteger T>
T CheckedAdd(T a, T b)
{
    // Each limit in the branch that uses it: MSVC judges every instantiation's locals (C4189).
    constexpr T max = std::numeric_limits<T>::max();
    if constexpr (std::is_unsigned_v<T>)
    {
        if (b != 0 && a > max - b)
        {
            checked_detail::Overflow(a, '+', b);
        }
    }
    else
    {
        constexpr T min = std::numeric_limits<T>::min();
        if (b >= 0)
        {
            if (a > max - b)
            {
                checked_detail::Overflow(a, '+', b);
            }
        }
        else if (a < min - b)
        {
            checked_detail::Underflow(a, '+', b);
        }
    }
    return static_cast<T>(a + b);
}

template <CheckedInteger T>
T CheckedSub(T a, T b)
{
    if constexpr (std::is_unsigned_v<T>)
    {
        if (a < b)
        {
            checked_detail::Underflow(a, '-', b);
        }
    }
    else
    {
        constexpr T max = std::numeric_limits<T>::max();
        constexpr T min = std::numeric_limits<T>::min();
        if (b < 0)
        {
            if (a > b + max)
            {
                checked_detail::Overflow(a, '-', b);
            }
        }
        else if (b > 0 && a < b + min)
        {
            checked_detail::Underflow(a, '-', b);
        }
    }
    return static_cast<T>(a - b);
}

template <CheckedInteger T>
T CheckedMul(T a, T b)
{
    constexpr T max = std::numeric_limits<T>::max();
    const auto overflow = [&]
    {
        throw std::overflow_error(checked_detail::Printable(a) + " * " + checked_detail::Printable(b) +
                                  " would exceed maximum allowed result: " + checked_detail::Printable(max));
    };
    if (a == 0 || b == 0)
    {
        return 0;
    }
    if (a == 1)
    {
        return b;
    }
    if (b == 1)
    {
        return a;
    }
    if constexpr (std::is_unsigned_v<T>)
    {
        if (a > max / b)
        {
            overflow();
        }
    }
    else
    {
        // Signed: compare magnitudes against the bound on the side the product falls on.
        constexpr T min = std::numeric_limits<T>::min();
        const bool positive = (a > 0) == (b > 0);
        const bool fits =
            positive ? (a > 0 ? a <= max / b : a >= max / b) : (a > 0 ? b >= min / a : a >= min / b);
        if (!fits)
        {
            if (positive)
            {
                overflow();
            }
            throw std::underflow_error(
                checked_detail::Printable(a) + " * " + checked_detail::Printable(b) +
                " would fall below minimum allowed result: " + checked_detail::Printable(min));
        }
    }
    return static_cast<T>(a * b);
}
} // namespace Quelvo
