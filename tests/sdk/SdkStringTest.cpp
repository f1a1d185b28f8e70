#include "sdk/SdkString.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace Quelvo::EndpointProtectionSdk
{
namespace
{
// Records which release functions ran, with what.
struct Releases
{
    static inline std::string log;
    static void One(void* owner) { log += "one(" + std::to_string(*static_cast<int*>(owner)) + ")"; }
    static void Two(void* owner, void* context)
    {
        log += "two(" + std::to_string(*static_cast<int*>(owner)) + "," +
               std::to_string(*static_cast<int*>(context)) + ")";
    }
};

class SdkStringTest : public ::testing::Test
{
protected:
    void SetUp() override { Releases::log.clear(); }
    int owner = 7;
    int context = 9;
};

TEST_F(SdkStringTest, IsFiveWordsInTheLibrarysOrder)
{
    EXPECT_EQ(0u, offsetof(SdkString, text));
    EXPECT_EQ(1 * sizeof(void*), offsetof(SdkString, context));
    EXPECT_EQ(2 * sizeof(void*), offsetof(SdkString, owner));
    EXPECT_EQ(3 * sizeof(void*), offsetof(SdkString, releaseWithContext));
    EXPECT_EQ(4 * sizeof(void*), offsetof(SdkString, release));
}

TEST_F(SdkStringTest, StartsZeroFilled)
{
    SdkStringHolder holder;
    const SdkString* raw = holder.Put();
    EXPECT_EQ(nullptr, raw->text);
    EXPECT_EQ(nullptr, raw->context);
    EXPECT_EQ(nullptr, raw->owner);
    EXPECT_EQ(nullptr, raw->releaseWithContext);
    EXPECT_EQ(nullptr, raw->release);
}

TEST_F(SdkStringTest, TheOneArgumentReleaseWinsAndRunsOnce)
{
    {
        SdkStringHolder holder;
        *holder.Put() = SdkString{"text", &context, &owner, &Releases::Two, &Releases::One};
        EXPECT_STREQ("text", holder.Text());
    }
    EXPECT_EQ("one(7)", Releases::log);
}

TEST_F(SdkStringTest, TheTwoArgumentReleaseGetsOwnerAndContext)
{
    {
        SdkStringHolder holder;
        *holder.Put() = SdkString{"text", &context, &owner, &Releases::Two, nullptr};
    }
    EXPECT_EQ("two(7,9)", Releases::log);
}

TEST_F(SdkStringTest, NothingIsReleasedWithoutAnOwnerOrAFunction)
{
    {
        SdkStringHolder holder;
        *holder.Put() = SdkString{"text", &context, nullptr, &Releases::Two, &Releases::One};
    }
    {
        SdkStringHolder holder;
        *holder.Put() = SdkString{nullptr, &context, &owner, nullptr, nullptr};
    }
    EXPECT_EQ("", Releases::log);
}
} // namespace
} // namespace Quelvo::EndpointProtectionSdk
