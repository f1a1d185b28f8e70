// The system's own texts in the messages, whatever the C++ library's system_category() knows (libc++'s
// knows only the C runtime's errno texts, and "unspecified system_category error" above them).
#include "base/TextConversion.h"
#include "base/Win32Error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace Quelvo
{
namespace
{
using ::testing::AnyOf;
using ::testing::EndsWith;

TEST(SystemErrorTextWineTest, MessagesEndWithTheSystemsTextForTheCode)
{
    // Windows' texts, and Wine's shorter wording of the same.
    const auto serviceDoesNotExist =
        AnyOf(EndsWith(": The specified service does not exist as an installed service."),
              EndsWith(": Service does not exist."));
    const auto noUnicodeTranslation = AnyOf(
        EndsWith("Error: No mapping for the Unicode character exists in the target multi-byte code page."),
        EndsWith("Error: No Unicode translation."));
    try
    {
        ThrowWin32Error(ERROR_SERVICE_DOES_NOT_EXIST, "Open service failed");
    }
    catch (const std::system_error& error)
    {
        EXPECT_THAT(std::string(error.what()), serviceDoesNotExist);
    }
    try
    {
        Utf8FromUtf16(std::wstring{L'A', static_cast<wchar_t>(0xD800)});
        ADD_FAILURE() << "an unpaired surrogate converted";
    }
    catch (const ConversionException& error)
    {
        EXPECT_EQ(1113, error.code().value());
        EXPECT_THAT(std::string(error.what()), noUnicodeTranslation);
    }
}
} // namespace
} // namespace Quelvo
