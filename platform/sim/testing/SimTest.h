// Base fixture of every test that runs against the simulated Windows.
#pragma once

#include <winsim/Control.h>

#include <gtest/gtest.h>

namespace winsim::testing
{
// Resets the machine before each test; afterwards asserts that nothing was left open and that
// nothing was closed twice.
class SimTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};
} // namespace winsim::testing
