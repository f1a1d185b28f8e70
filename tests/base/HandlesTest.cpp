#include "base/Scoped.h"
#include "base/WinHandle.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace Quelvo
{
namespace
{
TEST(ScopedTest, ReleasesOnceWhateverTheValue)
{
    std::vector<void*> released;
    {
        Scoped<void*> token(nullptr, [&](void*& value) { released.push_back(value); });
    }
    ASSERT_EQ(1u, released.size());
    EXPECT_EQ(nullptr, released[0]);

    int object = 0;
    {
        Scoped<void*> token(nullptr, [&](void*& value) { released.push_back(value); });
        token.Get() = &object; // written as an out-parameter would be
        EXPECT_EQ(&object, token.Get());
    }
    ASSERT_EQ(2u, released.size());
    EXPECT_EQ(&object, released[1]);
}

TEST(WinHandleTest, NullAndInvalidAreHeldButNeverReleased)
{
    int calls = 0;
    const auto count = [&](void*) { return ++calls; };
    {
        WinHandle none(nullptr, count);
        WinHandle invalid(INVALID_HANDLE_VALUE, count);
        EXPECT_FALSE(none.IsValid());
        EXPECT_FALSE(invalid.IsValid());
        EXPECT_EQ(nullptr, invalid.GetOrNull());
        EXPECT_EQ(INVALID_HANDLE_VALUE, invalid.Get());
    }
    EXPECT_EQ(0, calls);
}

TEST(WinHandleTest, SharedHolderReleasesOnceWhenTheLastCopyGoes)
{
    std::vector<void*> released;
    int object = 0;
    auto first = std::make_shared<WinHandle>(&object,
                                             [&](void* handle)
                                             {
                                                 released.push_back(handle);
                                                 return 1;
                                             });
    EXPECT_EQ(static_cast<void*>(first.get()), static_cast<void*>(&*first)); // the handle is the first field
    EXPECT_EQ(&object, *reinterpret_cast<HANDLE*>(first.get()));
    auto second = first;
    first.reset();
    EXPECT_TRUE(released.empty());
    second.reset();
    ASSERT_EQ(1u, released.size());
    EXPECT_EQ(&object, released[0]);
}

TEST(WinHandleTest, PutReleasesWhatWasHeldAndTakesTheNewHandle)
{
    std::vector<void*> released;
    int first = 0;
    int second = 0;
    {
        WinHandle holder(nullptr,
                         [&](void* handle)
                         {
                             released.push_back(handle);
                             return 1;
                         });
        *holder.Put() = &first; // written as a Win32 call's result or out-parameter would be
        EXPECT_TRUE(released.empty());
        *holder.Put() = &second;
        ASSERT_EQ(1u, released.size());
        EXPECT_EQ(&first, released[0]);
        EXPECT_EQ(&second, holder.Get());
    }
    ASSERT_EQ(2u, released.size());
    EXPECT_EQ(&second, released[1]);
}

TEST(WinHandleTest, ValidityRuleIsTheTypes)
{
    EXPECT_FALSE(WinHandle::IsValid(nullptr));
    EXPECT_FALSE(WinHandle::IsValid(INVALID_HANDLE_VALUE));
    int object = 0;
    EXPECT_TRUE(WinHandle::IsValid(&object));
}
} // namespace
} // namespace Quelvo
