// The last-error rules the product relies on, in both builds.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

namespace
{
TEST(LastErrorConformanceTest, EachThreadHasItsOwnLastError)
{
    std::atomic<int> stage = 0;
    DWORD seenByOtherThread = 0xdeadbeef;
    std::thread other(
        [&]
        {
            while (stage.load() != 1)
            {
            }
            SetLastError(5678);
            seenByOtherThread = GetLastError();
            stage.store(2);
        });
    // Between the two stores no call is made here that could touch this thread's last error.
    SetLastError(1234);
    stage.store(1);
    while (stage.load() != 2)
    {
    }
    const DWORD mine = GetLastError();
    other.join();
    EXPECT_EQ(5678u, seenByOtherThread);
    EXPECT_EQ(1234u, mine);
}

TEST(LastErrorConformanceTest, ClosingAnUnknownHandleFailsWith6)
{
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FFF0F00))));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(LastErrorConformanceTest, ShortPathOfAMissingFileFailsWith2)
{
    SetLastError(0xdeadbeef);
    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(0u, GetShortPathNameW(L"C:\\windows\\quelvo-no-such-file.txt", buffer, MAX_PATH));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}
} // namespace
