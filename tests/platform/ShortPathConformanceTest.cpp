// The buffer protocol of GetShortPathNameW, in both builds, on a real temporary file.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace
{
TEST(ShortPathConformanceTest, TooSmallBufferReportsTheSizeWithTheTerminator)
{
    const auto file = std::filesystem::temp_directory_path() / "quelvo short path conformance file.txt";
    std::ofstream(file) << "x";
    const std::wstring path = file.wstring();

    SetLastError(0xdeadbeef);
    const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    ASSERT_GT(needed, 1u);
    std::wstring buffer(needed, L'#');
    EXPECT_EQ(needed,
              GetShortPathNameW(path.c_str(), buffer.data(), needed - 1)); // one short: the size again
    const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), needed);
    EXPECT_EQ(needed - 1, length);
    EXPECT_EQ(L'\0', buffer[length]);
    buffer.resize(length);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(buffer), file));
    std::filesystem::remove(file);
}
} // namespace
