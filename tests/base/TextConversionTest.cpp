#include "base/SystemErrorText.h"
#include "base/TextConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <system_error>

namespace Quelvo
{
namespace
{
// What the system says about a code, as the exception's message ends with it.
std::string SystemText(int code)
{
    return SystemErrorText(static_cast<DWORD>(code));
}

template <class Operation>
ConversionException CaughtFrom(Operation operation)
{
    try
    {
        operation();
    }
    catch (const ConversionException& e)
    {
        return e;
    }
    ADD_FAILURE() << "no ConversionException";
    return ConversionException("none", std::string(), {});
}

TEST(TextConversionTest, EmptyInputConvertsToEmptyOutput)
{
    EXPECT_EQ("", Utf8FromUtf16(L""));
    EXPECT_EQ(L"", Utf16FromUtf8(""));
}

TEST(TextConversionTest, AsciiAndSupplementaryCharactersRoundTrip)
{
    EXPECT_EQ("abc", Utf8FromUtf16(L"abc"));
    EXPECT_EQ(L"abc", Utf16FromUtf8("abc"));

    const std::string grinning = "\xF0\x9F\x98\x80"; // U+1F600
    const std::wstring pair = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(pair, Utf16FromUtf8(grinning));
    EXPECT_EQ(grinning, Utf8FromUtf16(pair));

    const std::wstring umlauts = {L'G', static_cast<wchar_t>(0xFC), L'r', static_cast<wchar_t>(0x20AC)};
    EXPECT_EQ("G\xC3\xBCr\xE2\x82\xAC", Utf8FromUtf16(umlauts));
    EXPECT_EQ(umlauts, Utf16FromUtf8("G\xC3\xBCr\xE2\x82\xAC"));
}

TEST(TextConversionTest, EmbeddedNulEndsTheInput)
{
    EXPECT_EQ("ab", Utf8FromUtf16(std::wstring(L"ab\0cd", 5)));
    EXPECT_EQ(L"ab", Utf16FromUtf8(std::string("ab\0cd", 5)));
}

TEST(TextConversionTest, UnpairedSurrogateFailsInTheConversionStepWith1113)
{
    const std::wstring input = {L'A', static_cast<wchar_t>(0xD800)};
    const auto e = CaughtFrom([&] { Utf8FromUtf16(input); });
    EXPECT_EQ(1113, e.code().value());
    EXPECT_EQ(&std::system_category(), &e.code().category());
    EXPECT_EQ(
        "WideCharToMultiByte error. Can't convert bytes: \"65/0/0/-40\" from UTF-16 to UTF-8. locale: C. "
        "Error: " +
            SystemText(1113),
        e.what());
}

TEST(TextConversionTest, LoneLowSurrogateAndReversedPairAreRejected)
{
    EXPECT_EQ(
        1113,
        CaughtFrom([] { Utf8FromUtf16(std::wstring(1, static_cast<wchar_t>(0xDC00))); }).code().value());
    const std::wstring reversed = {static_cast<wchar_t>(0xDE00), static_cast<wchar_t>(0xD83D)};
    EXPECT_EQ(1113, CaughtFrom([&] { Utf8FromUtf16(reversed); }).code().value());
}

TEST(TextConversionTest, IllFormedUtf8FailsAlreadyInTheLengthQuery)
{
    const auto e = CaughtFrom([] { Utf16FromUtf8("\xFF"); });
    EXPECT_EQ(1113, e.code().value());
    EXPECT_EQ(
        "MultiByteToWideChar error. Can't get destination length.. Can't convert bytes: \"-1\" from UTF-8 to "
        "UTF-16. locale: C. Error: " +
            SystemText(1113),
        e.what());
}

TEST(TextConversionTest, EveryKindOfIllFormedUtf8IsRejected)
{
    for (const char* input : {"\xC3", "a\xE2\x82", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                              "\xF4\x90\x80\x80", "\x80", "\xF8\x88\x80\x80\x80"})
    {
        EXPECT_EQ(1113, CaughtFrom([&] { Utf16FromUtf8(input); }).code().value())
            << ::testing::PrintToString(input);
    }
}

TEST(TextConversionTest, ExceptionKeepsTheGivenCodeAndComposesItsOwnMessage)
{
    const ConversionException e("Prefix", std::wstring(L"\u00e9"),
                                std::error_code(5, std::system_category()));
    EXPECT_EQ(5, e.code().value());
    EXPECT_EQ("Prefix. Can't convert bytes: \"-23/0\" from UTF-16 to UTF-8. locale: C. Error: " +
                  SystemText(5),
              std::string(e.what()));
    const std::system_error& base = e;
    EXPECT_STREQ(e.what(), base.what());
}

TEST(TextConversionTest, NarrowSourceListsSignedBytes)
{
    const ConversionException e("P", std::string("A\xC3\xBF"), std::error_code(1113, std::system_category()));
    EXPECT_EQ("P. Can't convert bytes: \"65/-61/-65\" from UTF-8 to UTF-16. locale: C. Error: " +
                  SystemText(1113),
              std::string(e.what()));
}
// No bytes at all: the message still has its full layout, with an empty byte list.
TEST(TextConversionTest, EmptySourceGivesAnEmptyByteList)
{
    const ConversionException narrow("P", std::string(), std::error_code(87, std::system_category()));
    EXPECT_EQ("P. Can't convert bytes: \"\" from UTF-8 to UTF-16. locale: C. Error: " + SystemText(87),
              std::string(narrow.what()));
    const ConversionException wide("P", std::wstring(), std::error_code(87, std::system_category()));
    EXPECT_EQ("P. Can't convert bytes: \"\" from UTF-16 to UTF-8. locale: C. Error: " + SystemText(87),
              std::string(wide.what()));
}
} // namespace
} // namespace Quelvo
