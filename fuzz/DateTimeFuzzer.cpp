// Parses arbitrary text as a configuration time stamp. Only the three documented exceptions may leave
// the parsers, and accepted texts must convert consistently.
#include "FuzzCheck.h"

#include "base/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>

namespace
{
using namespace Quelvo;

void CheckTmFromString(const std::string& text)
{
    try
    {
        const std::tm time = TmFromString(text);
        Fuzz::Check(text.size() >= 10, "TmFromString accepted a text shorter than 10 characters", text);
        Fuzz::Check(time.tm_wday == 0 && time.tm_yday == 0 && time.tm_isdst == 0,
                    "TmFromString filled a field it must leave 0", text);
        if (text.size() < 19)
        {
            Fuzz::Check(time.tm_hour == 0 && time.tm_min == 0 && time.tm_sec == 0,
                        "TmFromString read a time from a date-only text", text);
        }
    }
    catch (const DateTimeMalformedError&)
    {
        Fuzz::Check(text.size() < 10, "TmFromString raised DateTimeMalformedError for a long text", text);
    }
    catch (const std::invalid_argument&)
    {
    }
    catch (const std::out_of_range&)
    {
    }
}

void CheckFromString(const std::string& text)
{
    TimeValue value = 0;
    try
    {
        value = FromString(text);
    }
    catch (const DateTimeMalformedError&)
    {
        return;
    }
    Fuzz::Check(value >= 0, "FromString returned a time before 1970", text);
    Fuzz::Check(text.size() == 10 || text.size() == 19 || text.size() == 20,
                "FromString accepted a text of the wrong length", text);
    if (text.size() != 20)
    {
        return;
    }
    // The UTC form: the same as converting its broken-down time as UTC.
    Fuzz::Check(value == TimeFromTm(TmFromString(text), false), "FromString disagrees with TimeFromTm", text);
    // Its canonical text (calendar-normalised) parses back to the same instant.
    const auto seconds = static_cast<std::time_t>(value);
    std::tm normalised{};
    Fuzz::Check(gmtime_r(&seconds, &normalised) != nullptr, "gmtime_r failed for an accepted time", text);
    const std::string canonical = StringFromTm(normalised, false);
    if (canonical.size() == 20)
    {
        Fuzz::Check(FromString(canonical) == value, "the canonical text gives another time", canonical);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Fuzz::MachineScope machine;
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckTmFromString(text);
    CheckFromString(text);
    return 0;
}
