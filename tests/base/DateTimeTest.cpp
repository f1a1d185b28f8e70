#include "base/DateTime.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace Quelvo
{
namespace
{
std::string MalformedMessage(const std::string& text)
{
    try
    {
        FromString(text);
    }
    catch (const DateTimeMalformedError& e)
    {
        return e.what();
    }
    return "accepted";
}

TEST(DateTimeTest, UtcTextsConvertExactly)
{
    EXPECT_EQ(0, FromString("1970-01-01T00:00:00Z"));
    EXPECT_EQ(1715065689, FromString("2024-05-07T07:08:09Z"));
    EXPECT_EQ(946684800, FromString("2000-01-01T00:00:00Z"));
}

TEST(DateTimeTest, OutOfRangeFieldsAreNormalised)
{
    EXPECT_EQ(FromString("2024-03-01T00:00:00Z"), FromString("2024-02-30T00:00:00Z"));
    EXPECT_EQ(FromString("2025-01-01"), FromString("2024-13-01"));
    EXPECT_EQ(FromString("2024-01-02T00:00:00Z"), FromString("2024-01-01T24:00:00Z"));
}

TEST(DateTimeTest, BlankAndTSeparatorsMeanTheSameLocalTime)
{
    EXPECT_EQ(FromString("2024-05-06T07:08:09"), FromString("2024-05-06 07:08:09"));
    EXPECT_EQ(FromString("2024-05-06T00:00:00"), FromString("2024-05-06"));
}

TEST(DateTimeTest, BeforeTheEpochRaisesWithTheRecordInIsoForm)
{
    try
    {
        FromString("1969-12-31T23:59:59Z");
        FAIL() << "accepted";
    }
    catch (const DateTimeMalformedError& e)
    {
        EXPECT_STREQ("TimeFromTm failed, invalid input datetime: 1969-12-31T23:59:59Z", e.what());
    }
}

TEST(DateTimeTest, MalformedTextsRaiseWithTheText)
{
    for (const std::string text : {"",
                                   "2024-05-0",
                                   "2024-05-06T",
                                   "2024-05-06T07:08:0",
                                   "2024-05-06T07:08:09Z1",
                                   "2024/05/06",
                                   "2024-05-06t07:08:09",
                                   "2024-05-06T07:08:09z",
                                   "2024-05-06T07:08:09.5Z",
                                   "2024-05-06T07:08:09+02:00",
                                   " 2024-05-06",
                                   "2024-05-06 ",
                                   "2024-5-06xx",
                                   "20a4-05-06",
                                   "2024-05-06T07-08:09",
                                   "2024-05-06T07:08:09 ",
                                   "+024-05-06",
                                   "2024-05-06_07:08:09",
                                   "2024-05/06",
                                   "2024-0a-06",
                                   "2024-05-0a",
                                   "2024-05-06T07:08/09",
                                   "2024-05-06T0a:08:09",
                                   "2024-05-06T07:0a:09",
                                   "2024-05-06T07:08:0a",
                                   "2024-05-06T07:08:0aZ"})
    {
        EXPECT_EQ("FromString failed, invalid time: " + text, MalformedMessage(text)) << text;
    }
}

TEST(DateTimeTest, MalformedErrorIsARuntimeError)
{
    EXPECT_THROW(FromString("x"), std::runtime_error);
}

TEST(DateTimeTest, TmFromStringReadsFieldsWithoutRangeChecks)
{
    const std::tm time = TmFromString("2024-13-45T25:61:62Z");
    EXPECT_EQ(124, time.tm_year);
    EXPECT_EQ(12, time.tm_mon);
    EXPECT_EQ(45, time.tm_mday);
    EXPECT_EQ(25, time.tm_hour);
    EXPECT_EQ(61, time.tm_min);
    EXPECT_EQ(62, time.tm_sec);
    EXPECT_EQ(0, time.tm_isdst);
    EXPECT_EQ(0, time.tm_wday);

    const std::tm date = TmFromString("2024-05-06");
    EXPECT_EQ(6, date.tm_mday);
    EXPECT_EQ(0, date.tm_hour);
}

TEST(DateTimeTest, TmFromStringRejectsShortTextsAndStoiFailures)
{
    try
    {
        TmFromString("2024-05-0");
        FAIL() << "accepted";
    }
    catch (const DateTimeMalformedError& e)
    {
        EXPECT_STREQ("TmFromString failed, invalid input datetime: 2024-05-0", e.what());
    }
    EXPECT_THROW(TmFromString("abcd-ef-gh"), std::invalid_argument);
    EXPECT_THROW(TmFromString("2024-05-99999999999"), std::out_of_range);
}

TEST(DateTimeTest, StringFromTmFormatsAndChecksTheAdditions)
{
    std::tm time{};
    time.tm_year = 124;
    time.tm_mon = 2;
    time.tm_mday = 1;
    time.tm_hour = 8;
    time.tm_min = 5;
    time.tm_sec = 9;
    EXPECT_EQ("2024-03-01T08:05:09Z", StringFromTm(time, false));
    EXPECT_EQ("2024-03-01T08:05:09", StringFromTm(time, true));

    time.tm_year = 2147481748;
    EXPECT_THROW(StringFromTm(time, false), std::overflow_error);
    time.tm_year = 2147481747;
    EXPECT_EQ("2147483647-03-01T08:05:09Z", StringFromTm(time, false));
    time.tm_mon = 2147483647;
    try
    {
        StringFromTm(time, true);
        FAIL() << "accepted";
    }
    catch (const std::overflow_error& e)
    {
        EXPECT_STREQ("2147483647 + 1 = 2147483648 (exceeds maximum allowed: 2147483647)", e.what());
    }
}

TEST(DateTimeTest, TimeFromTmLeavesTheCallersRecordAlone)
{
    std::tm time = TmFromString("2024-02-30T00:00:00Z");
    const std::tm before = time;
    EXPECT_EQ(1709251200, TimeFromTm(time, false));
    EXPECT_EQ(before.tm_mday, time.tm_mday);
    EXPECT_EQ(before.tm_mon, time.tm_mon);
}
} // namespace
} // namespace Quelvo
