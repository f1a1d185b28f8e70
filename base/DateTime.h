// ISO 8601 time stamps of the product's configuration: a fixed subset is parsed into seconds since
// 1970-01-01T00:00:00 UTC; a trailing "Z" means UTC, its absence the machine's local time.
#pragma once

#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>

namespace Quelvo
{
// Seconds since 1970-01-01T00:00:00 UTC, as the C library's 64-bit time type counts them.
using TimeValue = std::int64_t;

// A malformed or unconvertible date-time.
class DateTimeMalformedError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// "YYYY-MM-DD" and "YYYY-MM-DD[T ]hh:mm:ss" (local time), "YYYY-MM-DDThh:mm:ssZ" (UTC).
TimeValue FromString(const std::string& text);

// The broken-down time of a text of at least 10 characters; fields are not range-checked.
std::tm TmFromString(std::string text);

// Normalises a copy of `time` and converts it as local time or as UTC; before 1970 raises.
TimeValue TimeFromTm(const std::tm& time, bool local);

// "YYYY-MM-DDThh:mm:ss", with a "Z" appended when not local.
std::string StringFromTm(const std::tm& time, bool local);
} // namespace Quelvo
