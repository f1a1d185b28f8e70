// What the product relies on in the CP_UTF8 codec, pinned in both builds: against the simulated Windows
// and under Wine.
#include "support/Platform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace
{
std::wstring Units(std::initializer_list<unsigned> units)
{
    std::wstring text;
    for (const unsigned unit : units)
    {
        text.push_back(static_cast<wchar_t>(unit));
    }
    return text;
}

TEST(CodecConformanceTest, LengthQueryWithMinusOneCountsTheTerminator)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "abc", -1, nullptr, 0));
    const std::wstring pair = Units({0xD83D, 0xDE00});
    EXPECT_EQ(5, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, pair.c_str(), -1, nullptr, 0, nullptr,
                                     nullptr));
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xF0\x9F\x98\x80", -1, nullptr, 0));
}

TEST(CodecConformanceTest, ConversionStopsAtAnEmbeddedNul)
{
    const wchar_t text[] = {L'a', L'\0', L'b', L'\0'};
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(2, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out, 8, nullptr, nullptr));
    EXPECT_EQ('a', out[0]);
    EXPECT_EQ('\0', out[1]);
    EXPECT_EQ('x', out[2]);
}

TEST(CodecConformanceTest, TooSmallBufferFailsWith122)
{
    char out[2];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, out, 2, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    wchar_t wide[2];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(CodecConformanceTest, StrictWideToUtf8RejectsUnpairedSurrogatesWith1113)
{
    for (const auto& text :
         {Units({0xD800}), Units({0x41, 0xDC00}), Units({0xDE00, 0xD83D}), Units({0xD83D, 0x41})})
    {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                                         nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
    }
}

TEST(CodecConformanceTest, LenientWideToUtf8ReplacesUnpairedSurrogates)
{
    const std::wstring text = Units({0x41, 0xD800, 0x42});
    char out[16] = {};
    const int written = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, 16, nullptr, nullptr);
    EXPECT_EQ(6, written);
    EXPECT_EQ(std::string("A\xEF\xBF\xBD"
                          "B"),
              std::string(out));
}

TEST(CodecConformanceTest, StrictUtf8ToWideRejectsIllFormedInputWith1113)
{
    for (const char* text : {"\xFF", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80\xED\xB0\x80",
                             "\xF4\x90\x80\x80", "\x80", "a\xE2\x82"})
    {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0))
            << ::testing::PrintToString(text);
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError())
            << ::testing::PrintToString(text);
    }
}

TEST(CodecConformanceTest, ZeroLengthInputIsAnInvalidParameter)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"a", 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "a", 0, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// Windows rejects flags other than MB_ERR_INVALID_CHARS for CP_UTF8 with ERROR_INVALID_FLAGS; Wine 8
// ignores them and converts. The product passes only the documented flags, so it does not depend on it.
TEST(CodecConformanceTest, UnknownFlagsForUtf8AreRejectedExceptUnderWine)
{
    const bool wine = Quelvo::Testing::RunningUnderWine();
    SetLastError(0xdeadbeef);
    const int result = MultiByteToWideChar(CP_UTF8, 0x1 /* MB_PRECOMPOSED */, "a", -1, nullptr, 0);
    if (wine)
    {
        EXPECT_EQ(2, result);
        return;
    }
    EXPECT_EQ(0, result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FLAGS), GetLastError());
}
} // namespace
