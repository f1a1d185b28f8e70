#include "base/PathConversion.h"

#include "support/Caught.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace Quelvo
{
namespace
{
class PathConversionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_directory = std::filesystem::temp_directory_path() / "quelvo path conversion test";
        std::filesystem::create_directories(m_directory);
        m_file = m_directory / "a rather long file name.text";
        std::ofstream(m_file) << "x";
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }

    std::filesystem::path m_directory;
    std::filesystem::path m_file;
};

TEST_F(PathConversionTest, ShortFormNamesTheSameFile)
{
    const std::wstring shortPath = GetShortPath(m_file.wstring());
    EXPECT_FALSE(shortPath.empty());
    EXPECT_EQ(std::wstring::npos, shortPath.find(L'\0'));
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(shortPath), m_file));
    // A path that is already short stays as it is.
    EXPECT_EQ(shortPath, GetShortPath(shortPath));
}

TEST_F(PathConversionTest, MissingPathFailsInTheLengthStep)
{
    const std::wstring missing = (m_directory / "missing.txt").wstring();
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, GetShortPathNameW(missing.c_str(), nullptr, 0));
    const DWORD expected = GetLastError();
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), expected);
    try
    {
        GetShortPath(missing);
        FAIL() << "no exception";
    }
    catch (const std::system_error& e)
    {
        EXPECT_EQ(static_cast<int>(expected), e.code().value());
        EXPECT_EQ(&std::system_category(), &e.code().category());
        EXPECT_EQ(0u, std::string(e.what()).rfind(
                          "Can't convert path to short path. Failed to retrieve its length.", 0))
            << e.what();
    }
}

TEST_F(PathConversionTest, ConvertPathRunsTheTwoCallProtocol)
{
    int calls = 0;
    const auto upper = [&](LPCWSTR source, LPWSTR buffer, DWORD size) -> DWORD
    {
        ++calls;
        const std::wstring text(source);
        if (buffer == nullptr)
        {
            EXPECT_EQ(0u, size);
            return static_cast<DWORD>(text.size() + 1);
        }
        EXPECT_EQ(text.size() + 1, size);
        for (std::size_t i = 0; i < text.size(); ++i)
        {
            buffer[i] = static_cast<wchar_t>(text[i] >= L'a' && text[i] <= L'z' ? text[i] - 32 : text[i]);
        }
        buffer[text.size()] = L'\0';
        return static_cast<DWORD>(text.size());
    };
    EXPECT_EQ(L"C:\\ABC", ConvertPath(std::wstring(L"C:\\abc\0def", 10), upper, "upper"));
    EXPECT_EQ(2, calls);
}

TEST_F(PathConversionTest, SecondStepFailureNamesTheKind)
{
    const auto failing = [](LPCWSTR, LPWSTR buffer, DWORD) -> DWORD
    {
        if (buffer == nullptr)
        {
            return 10;
        }
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    };
    try
    {
        ConvertPath(L"C:\\x", failing, "long");
        FAIL() << "no exception";
    }
    catch (const std::system_error& e)
    {
        EXPECT_EQ(5, e.code().value());
        const std::string what = e.what();
        EXPECT_EQ(0u, what.rfind("Can't convert path to long path", 0)) << what;
        EXPECT_EQ(std::string::npos, what.find("length")) << what;
    }
}
// The path grew between the two calls: the function asks for a bigger buffer instead of filling it.
// Nothing past the buffer may be returned.
TEST_F(PathConversionTest, GrowthBetweenTheCallsIsAFailure)
{
    DWORD growth = 6;
    const auto growing = [&growth](LPCWSTR, LPWSTR buffer, DWORD size) -> DWORD
    {
        if (buffer == nullptr)
        {
            return 4;
        }
        buffer[0] = L'\0';
        return size + growth;
    };
    try
    {
        const std::wstring converted = ConvertPath(L"C:\\x", growing, "short");
        FAIL() << "returned " << converted.size() << " characters";
    }
    catch (const std::system_error& e)
    {
        EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, e.code().value());
        EXPECT_EQ(0u, std::string(e.what()).rfind("Can't convert path to short path", 0)) << e.what();
    }
    // One character more is the edge.
    growth = 1;
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER,
              Testing::CaughtSystemError([&] { ConvertPath(L"C:\\x", growing, "short"); }).code().value());
}

// A result that fills the buffer exactly is still inside it.
TEST_F(PathConversionTest, ResultAsLongAsTheBufferIsKept)
{
    const auto exact = [](LPCWSTR, LPWSTR buffer, DWORD size) -> DWORD
    {
        if (buffer == nullptr)
        {
            return 3;
        }
        std::fill_n(buffer, size, L'a');
        return size;
    };
    EXPECT_EQ(L"aaa", ConvertPath(L"C:\\x", exact, "short"));
}
} // namespace
} // namespace Quelvo
