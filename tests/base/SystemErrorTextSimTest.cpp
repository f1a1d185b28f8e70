#include "base/SystemErrorText.h"
#include "base/Win32Error.h"

#include <SimTest.h>
#include <gtest/gtest.h>
#include <winsim/Control.h>

#include <string>

namespace Quelvo
{
namespace
{
using SystemErrorTextSimTest = winsim::testing::SimTest;

TEST_F(SystemErrorTextSimTest, TheSystemsTextWithoutItsLineBreakAndTheCallersLastErrorKept)
{
    struct Row
    {
        DWORD code;
        DWORD formatFault;
        const char* expected;
    };
    const Row rows[] = {
        {ERROR_SERVICE_DOES_NOT_EXIST, 0, "The specified service does not exist as an installed service."},
        {ERROR_NO_UNICODE_TRANSLATION, 0,
         "No mapping for the Unicode character exists in the target multi-byte code page."},
        {99999, 0, "Unknown error 99999"},
        {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, "Unknown error 5"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.code);
        if (row.formatFault != 0)
        {
            winsim::FailNext("FormatMessageW", row.formatFault);
        }
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.expected, SystemErrorText(row.code));
        EXPECT_EQ(0xdeadbeefu, GetLastError());
    }
}

TEST_F(SystemErrorTextSimTest, AWin32ErrorIsASystemErrorWithTheSystemsText)
{
    const Win32Error error(ERROR_SERVICE_DOES_NOT_EXIST, "Open service failed");
    EXPECT_EQ(std::error_code(1060, std::system_category()), error.code());
    EXPECT_STREQ("Open service failed: The specified service does not exist as an installed service.",
                 error.what());
    EXPECT_STREQ("Access is denied.", Win32Error(ERROR_ACCESS_DENIED, "").what());
    // What the C++ library knows is used for codes of its own categories.
    EXPECT_EQ(std::make_error_code(std::errc::invalid_argument).message(),
              ErrorCodeText(std::make_error_code(std::errc::invalid_argument)));
}
} // namespace
} // namespace Quelvo
