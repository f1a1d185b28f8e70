#include "base/DateTime.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

namespace Quelvo
{
namespace
{
// The C runtime takes the local time zone from TZ when it is set.
class DateTimeWineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _putenv_s("TZ", "EST5EDT");
        _tzset();
    }
    void TearDown() override
    {
        _putenv_s("TZ", "");
        _tzset();
    }
};

TEST_F(DateTimeWineTest, TextsWithoutZAreLocalTime)
{
    EXPECT_EQ(FromString("2024-01-15T17:00:00Z"), FromString("2024-01-15T12:00:00"));
    EXPECT_EQ(FromString("2024-01-15T17:00:00Z"), FromString("2024-01-15 12:00:00"));
    EXPECT_EQ(FromString("2000-01-01T05:00:00Z"), FromString("2000-01-01"));
}

// Wine's C runtime applies the standard offset of TZ but not its daylight-saving part (July in
// EST5EDT converts as EST), so only dates in winter are compared here; daylight saving is covered
// against the simulated Windows.
TEST_F(DateTimeWineTest, UtcBeforeTheEpochRaises)
{
    EXPECT_THROW(FromString("1969-12-31T23:59:59Z"), DateTimeMalformedError);
    EXPECT_EQ(0, FromString("1970-01-01T00:00:00Z"));
}
} // namespace
} // namespace Quelvo
