#include "base/TextConversion.h"

#include <SimTest.h>

#include <functional>
#include <string>

namespace Quelvo
{
namespace
{
class TextConversionSimTest : public winsim::testing::SimTest
{
};

std::string WhatOf(const std::function<void()>& operation, int& code)
{
    try
    {
        operation();
    }
    catch (const ConversionException& e)
    {
        code = e.code().value();
        return e.what();
    }
    ADD_FAILURE() << "no ConversionException";
    return {};
}

TEST_F(TextConversionSimTest, EachConversionMakesExactlyTwoPlatformCalls)
{
    EXPECT_EQ("abc", Utf8FromUtf16(L"abc"));
    EXPECT_EQ(2u, winsim::CallCount("WideCharToMultiByte"));
    EXPECT_EQ(L"abc", Utf16FromUtf8("abc"));
    EXPECT_EQ(2u, winsim::CallCount("MultiByteToWideChar"));
    Utf8FromUtf16(L"");
    Utf16FromUtf8("");
    EXPECT_EQ(4u, winsim::CallLog().size());
}

TEST_F(TextConversionSimTest, WideLengthQueryFailureUsesItsOwnPrefixAndCode)
{
    winsim::FailNext("WideCharToMultiByte", 87);
    int code = 0;
    const std::string what = WhatOf([] { Utf8FromUtf16(L"A"); }, code);
    EXPECT_EQ(87, code);
    EXPECT_EQ(0u,
              what.rfind("WideCharToMultiByte error. Can't get destination length. . Can't convert bytes: "
                         "\"65/0\" from UTF-16 to UTF-8. locale: C. Error: ",
                         0))
        << what;
}

TEST_F(TextConversionSimTest, ConversionStepFailuresCarryTheCodeOfThatCall)
{
    winsim::FailNth("WideCharToMultiByte", 2, 122);
    int code = 0;
    EXPECT_EQ(0u,
              WhatOf([] { Utf8FromUtf16(L"A"); }, code).rfind("WideCharToMultiByte error. Can't convert", 0));
    EXPECT_EQ(122, code);

    winsim::FailNth("MultiByteToWideChar", 2, 8);
    EXPECT_EQ(0u,
              WhatOf([] { Utf16FromUtf8("A"); }, code).rfind("MultiByteToWideChar error. Can't convert", 0));
    EXPECT_EQ(8, code);

    winsim::FailNext("MultiByteToWideChar", 1004);
    EXPECT_EQ(0u, WhatOf([] { Utf16FromUtf8("A"); }, code)
                      .rfind("MultiByteToWideChar error. Can't get destination length.. Can't convert", 0));
    EXPECT_EQ(1004, code);
}

TEST_F(TextConversionSimTest, UnpairedSurrogatePassesTheLengthQueryAndFailsTheConversion)
{
    int code = 0;
    WhatOf([] { Utf8FromUtf16(std::wstring(1, static_cast<wchar_t>(0xD800))); }, code);
    EXPECT_EQ(1113, code);
    // The length query and the conversion; then two more for the system's text in the message.
    EXPECT_EQ(4u, winsim::CallCount("WideCharToMultiByte"));
}
} // namespace
} // namespace Quelvo
