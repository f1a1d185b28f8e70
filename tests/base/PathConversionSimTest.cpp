#include "base/PathConversion.h"

#include <SimTest.h>

#include <system_error>

namespace Quelvo
{
namespace
{
class PathConversionSimTest : public winsim::testing::SimTest
{
};

TEST_F(PathConversionSimTest, ScriptedShortNameIsReturned)
{
    winsim::AddShortName(L"C:\\Program Files\\Product Folder\\service host.exe",
                         L"C:\\PROGRA~1\\PRODUC~1\\SERVIC~1.EXE");
    EXPECT_EQ(L"C:\\PROGRA~1\\PRODUC~1\\SERVIC~1.EXE",
              GetShortPath(L"C:\\Program Files\\Product Folder\\service host.exe"));
    EXPECT_EQ(2u, winsim::CallCount("GetShortPathNameW"));
}

TEST_F(PathConversionSimTest, EachStepReportsTheCodeOfItsOwnCall)
{
    winsim::AddFile(L"C:\\a.txt");
    winsim::FailNext("GetShortPathNameW", ERROR_ACCESS_DENIED);
    try
    {
        GetShortPath(L"C:\\a.txt");
        FAIL() << "no exception";
    }
    catch (const std::system_error& e)
    {
        EXPECT_EQ(5, e.code().value());
        EXPECT_EQ(0u, std::string(e.what()).rfind(
                          "Can't convert path to short path. Failed to retrieve its length.", 0));
    }
    winsim::FailNth("GetShortPathNameW", 2, ERROR_PATH_NOT_FOUND);
    try
    {
        GetShortPath(L"C:\\a.txt");
        FAIL() << "no exception";
    }
    catch (const std::system_error& e)
    {
        EXPECT_EQ(3, e.code().value());
        const std::string what = e.what();
        EXPECT_EQ(0u, what.rfind("Can't convert path to short path", 0));
        EXPECT_EQ(std::string::npos, what.find("Failed to retrieve"));
    }
}
} // namespace
} // namespace Quelvo
