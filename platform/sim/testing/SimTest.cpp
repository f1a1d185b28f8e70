#include "SimTest.h"

namespace winsim::testing
{
void SimTest::SetUp()
{
    winsim::Reset();
}

void SimTest::TearDown()
{
    EXPECT_EQ(0u, winsim::OpenHandleCount())
        << "handles left open: " << ::testing::PrintToString(winsim::OpenHandleDescriptions());
    EXPECT_EQ(0u, winsim::DoubleCloseCount())
        << "closed twice: " << ::testing::PrintToString(winsim::DoubleCloseDescriptions());
}
} // namespace winsim::testing
