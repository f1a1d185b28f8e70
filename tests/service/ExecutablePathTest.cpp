#include "service/ExecutablePath.h"

#include <gtest/gtest.h>

namespace Quelvo
{
namespace
{
TEST(ExecutablePathFromCommandLine, QuotedPathKeepsItsSpacesAndDropsTheArguments)
{
    EXPECT_EQ(L"C:\\Program Files\\Demo\\svc.exe",
              ExecutablePathFromCommandLine(L"\"C:\\Program Files\\Demo\\svc.exe\" -k \"a b\""));
    EXPECT_EQ(L"C:\\Program Files\\svc.exe",
              ExecutablePathFromCommandLine(L"\"C:\\Program Files\\svc.exe\""));
}

TEST(ExecutablePathFromCommandLine, UnquotedPathEndsAtTheFirstSpace)
{
    EXPECT_EQ(L"C:\\Demo\\svc.exe", ExecutablePathFromCommandLine(L"C:\\Demo\\svc.exe -k netsvcs"));
    EXPECT_EQ(L"C:\\Program", ExecutablePathFromCommandLine(L"C:\\Program Files\\svc.exe"));
    EXPECT_EQ(L"C:\\Demo\\svc.exe", ExecutablePathFromCommandLine(L"C:\\Demo\\svc.exe"));
}

TEST(ExecutablePathFromCommandLine, OnlyTheSpaceCharacterSeparates)
{
    EXPECT_EQ(L"C:\\Demo\\svc.exe\t-k", ExecutablePathFromCommandLine(L"C:\\Demo\\svc.exe\t-k"));
}

TEST(ExecutablePathFromCommandLine, UnclosedQuoteReadsTheRestUpToItsFirstSpace)
{
    EXPECT_EQ(L"C:\\Program", ExecutablePathFromCommandLine(L"\"C:\\Program Files\\svc.exe -k"));
    EXPECT_EQ(L"C:\\svc.exe", ExecutablePathFromCommandLine(L"\"C:\\svc.exe"));
}

TEST(ExecutablePathFromCommandLine, EmptyResults)
{
    EXPECT_EQ(L"", ExecutablePathFromCommandLine(L""));
    EXPECT_EQ(L"", ExecutablePathFromCommandLine(L"\""));
    EXPECT_EQ(L"", ExecutablePathFromCommandLine(L"\"\""));
    EXPECT_EQ(L"", ExecutablePathFromCommandLine(L"\"\" C:\\svc.exe"));
    EXPECT_EQ(L"", ExecutablePathFromCommandLine(L" C:\\svc.exe"));
}

TEST(ExecutablePathFromCommandLine, NothingIsExpandedOrResolved)
{
    EXPECT_EQ(L"%SystemRoot%\\System32\\svchost.exe",
              ExecutablePathFromCommandLine(L"%SystemRoot%\\System32\\svchost.exe -k netsvcs"));
    EXPECT_EQ(L"..\\svc.exe", ExecutablePathFromCommandLine(L"..\\svc.exe"));
}
} // namespace
} // namespace Quelvo
