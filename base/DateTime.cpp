#include "base/DateTime.h"

#include "base/CheckedArithmetic.h"
#include "base/Format.h"

#include <windows.h>

#include <ctime>

namespace Quelvo
{
namespace
{
bool IsDigitAt(const std::string& text, std::size_t position)
{
    return text[position] >= '0' && text[position] <= '9';
}

bool AreDigits(const std::string& text, std::size_t first, std::size_t last)
{
    for (std::size_t position = first; position <= last; ++position)
    {
        if (!IsDigitAt(text, position))
        {
            return false;
        }
    }
    return true;
}

bool IsWellFormed(const std::string& text)
{
    const std::size_t length = text.size();
    if (length != 10 && length != 19 && length != 20)
    {
        return false;
    }
    if (text[4] != '-' || text[7] != '-' || !AreDigits(text, 0, 3) || !AreDigits(text, 5, 6) ||
        !AreDigits(text, 8, 9))
    {
        return false;
    }
    if (length == 10)
    {
        return true;
    }
    if ((text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':' ||
        !AreDigits(text, 11, 12) || !AreDigits(text, 14, 15) || !AreDigits(text, 17, 18))
    {
        return false;
    }
    return length == 19 || text[19] == 'Z';
}

// Reads an integer the way std::stoi does, from `position` up to the first NUL of the buffer.
int IntegerAt(const std::string& text, std::size_t position)
{
    return std::stoi(std::string(text.c_str() + position));
}
} // namespace

TimeValue FromString(const std::string& text)
{
    if (!IsWellFormed(text))
    {
        throw DateTimeMalformedError(Format("FromString failed, invalid time: {}", text));
    }
    std::tm time = TmFromString(text);
    time.tm_isdst = -1;
    const bool utc = text.back() == 'Z';
    return TimeFromTm(time, !utc);
}

std::tm TmFromString(std::string text)
{
    if (text.size() < 10)
    {
        throw DateTimeMalformedError(Format("TmFromString failed, invalid input datetime: {}", text));
    }
    std::tm time{};
    text[4] = '\0';
    text[7] = '\0';
    time.tm_year = IntegerAt(text, 0) - 1900;
    time.tm_mon = IntegerAt(text, 5) - 1;
    time.tm_mday = IntegerAt(text, 8);
    if (text.size() >= 19)
    {
        text[13] = '\0';
        text[16] = '\0';
        time.tm_hour = IntegerAt(text, 11);
        time.tm_min = IntegerAt(text, 14);
        time.tm_sec = IntegerAt(text, 17);
    }
    time.tm_wday = 0;
    time.tm_yday = 0;
    time.tm_isdst = 0;
    return time;
}

TimeValue TimeFromTm(const std::tm& time, bool local)
{
    std::tm copy = time;
    const TimeValue result = local ? _mktime64(&copy) : _mkgmtime64(&copy);
    if (result < 0)
    {
        throw DateTimeMalformedError(
            Format("TimeFromTm failed, invalid input datetime: {}", StringFromTm(time, local)));
    }
    return result;
}

std::string StringFromTm(const std::tm& time, bool local)
{
    const int year = CheckedAdd<int>(time.tm_year, 1900);
    const int month = CheckedAdd<int>(time.tm_mon, 1);
    return Format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}", year, month, time.tm_mday, time.tm_hour,
                  time.tm_min, time.tm_sec, local ? "" : "Z");
}
} // namespace Quelvo
