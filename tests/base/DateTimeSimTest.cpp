#include "base/DateTime.h"

#include <SimTest.h>

namespace Quelvo
{
namespace
{
class DateTimeSimTest : public winsim::testing::SimTest
{
protected:
    void TearDown() override
    {
        winsim::SetTimeZone("UTC0");
        SimTest::TearDown();
    }
};

TEST_F(DateTimeSimTest, TextsWithoutZAreLocalTimeOfTheMachine)
{
    winsim::SetTimeZone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(FromString("2024-01-15T17:00:00Z"), FromString("2024-01-15T12:00:00"));
    EXPECT_EQ(FromString("2024-07-15T16:00:00Z"), FromString("2024-07-15T12:00:00")); // daylight saving
    EXPECT_EQ(FromString("2000-01-01T05:00:00Z"), FromString("2000-01-01"));

    winsim::SetTimeZone("JST-9");
    EXPECT_EQ(FromString("2024-05-05T22:08:09Z"), FromString("2024-05-06 07:08:09"));
}

TEST_F(DateTimeSimTest, LocalTimeBeforeTheEpochInUtcRaises)
{
    winsim::SetTimeZone("JST-9");
    try
    {
        FromString("1970-01-01T08:00:00");
        FAIL() << "accepted";
    }
    catch (const DateTimeMalformedError& e)
    {
        EXPECT_STREQ("TimeFromTm failed, invalid input datetime: 1970-01-01T08:00:00", e.what());
    }
    EXPECT_EQ(0, FromString("1970-01-01T09:00:00"));
}

TEST_F(DateTimeSimTest, LocalAndUtcUseTheirOwnConversions)
{
    FromString("2024-01-01");
    FromString("2024-01-01T00:00:00Z");
    EXPECT_EQ(1u, winsim::CallCount("_mktime64"));
    EXPECT_EQ(1u, winsim::CallCount("_mkgmtime64"));
}
} // namespace
} // namespace Quelvo
