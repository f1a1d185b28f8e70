#include "base/Format.h"

#include <gtest/gtest.h>

#include <string>

namespace Quelvo
{
namespace
{
TEST(FormatTest, WideArgumentsFormatLikeTheirUtf8Form)
{
    const std::wstring name = L"EndpointProtectionService";
    EXPECT_EQ("The service 'EndpointProtectionService' does not exist.",
              Format("The service '{}' does not exist.", name));
    const std::wstring accented = {L'c', L'a', L'f', static_cast<wchar_t>(0xE9)};
    EXPECT_EQ("[caf\xC3\xA9]", Format("[{}]", accented));
}

TEST(FormatTest, SpecificationsApplyToTheConvertedText)
{
    const std::wstring word = L"abc";
    EXPECT_EQ("abc  ", Format("{:<5}", word));
    EXPECT_EQ("  abc", Format("{:>5}", word));
    EXPECT_EQ("*abc*", Format("{:*^5}", word));
    EXPECT_EQ("ab", Format("{:.2}", word));
    EXPECT_EQ("abc   |", Format("{:{}}|", word, 6));
    EXPECT_EQ("a    |", Format("{:{}.{}}|", word, 5, 1));
    // Width counts characters of the narrow form, exactly as for the same narrow string.
    const std::wstring accented = {static_cast<wchar_t>(0xE9)};
    EXPECT_EQ(Format("{:>3}", std::string("\xC3\xA9")), Format("{:>3}", accented));
}

TEST(FormatTest, NarrowAndNumericArgumentsPassThrough)
{
    EXPECT_EQ("0007-x-1.5-true", Format("{:04}-{}-{}-{}", 7, "x", 1.5, true));
    EXPECT_EQ("4294967295", Format("{}", 4294967295u));
}

TEST(FormatTest, UnconvertibleWideArgumentLeavesAsConversionException)
{
    const std::wstring broken(1, static_cast<wchar_t>(0xDC00));
    try
    {
        Format("{}", broken);
        FAIL() << "no exception";
    }
    catch (const ConversionException& e)
    {
        EXPECT_EQ(1113, e.code().value());
    }
}

TEST(FormatTest, WideFormatKeepsWideText)
{
    EXPECT_EQ(L"\"ui.exe\" /renew",
              FormatWide(L"\"{}\" {}", std::wstring(L"ui.exe"), std::wstring(L"/renew")));
    EXPECT_EQ(L"\"ui.exe\" ", FormatWide(L"\"{}\" {}", std::wstring(L"ui.exe"), std::wstring()));
}
} // namespace
} // namespace Quelvo
