#include "base/Scoped.h"
#include "base/ScopedRegKey.h"
#include "base/WinHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

namespace Quelvo
{
namespace
{
bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(HandlesWineTest, SharedWinHandleClosesARealHandleOnce)
{
    HANDLE raw = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(nullptr, raw);
    auto holder = std::make_shared<WinHandle>(raw, &CloseKernelHandle);
    auto copy = holder;
    holder.reset();
    EXPECT_TRUE(IsOpen(raw));
    copy.reset();
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsOpen(raw));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(HandlesWineTest, ScopedTokenIsOpenedIntoTheHolderAndClosed)
{
    HANDLE seen = nullptr;
    {
        Scoped<void*> token(nullptr, [](void*& value) { CloseHandle(value); });
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.Get()));
        seen = token.Get();
        EXPECT_TRUE(IsOpen(seen));
    }
    EXPECT_FALSE(IsOpen(seen));
}

TEST(HandlesWineTest, ScopedRegKeyClosesTheKey)
{
    HKEY seen = nullptr;
    {
        ScopedRegKey key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                                KEY_READ, key.Put()));
        seen = key.Get();
        DWORD values = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(seen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr));
    }
    DWORD values = 0;
    EXPECT_NE(ERROR_SUCCESS, RegQueryInfoKeyW(seen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              &values, nullptr, nullptr, nullptr, nullptr));
}
} // namespace
} // namespace Quelvo
