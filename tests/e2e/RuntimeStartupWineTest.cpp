// The runtime's start-up under a failed allocation: each row fails one of the program's calls of malloc
// before its own code runs (tests/e2e/StartupProbe.cpp), and the process must end with
// ERROR_NOT_ENOUGH_MEMORY rather than crash on the null pointer.
#include "e2e/ProductFolderTest.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace Quelvo
{
namespace
{
using testing::FromBuild;
using RuntimeStartupTest = testing::ProductFolderTest;

TEST_F(RuntimeStartupTest, AFailedAllocationBeforeTheProgramRunsEndsItWithNotEnoughMemory)
{
    // Two arguments: the copy of the arguments asks for the vector (call 1) and for each of the three
    // strings (calls 2 to 4); the start-up makes no fifth call, and nothing fails without a number.
    const struct
    {
        const wchar_t* failedCall;
        DWORD exitCode;
    } rows[] = {{L"", 0},
                {L"1", ERROR_NOT_ENOUGH_MEMORY},
                {L"2", ERROR_NOT_ENOUGH_MEMORY},
                {L"3", ERROR_NOT_ENOUGH_MEMORY},
                {L"4", ERROR_NOT_ENOUGH_MEMORY},
                {L"5", 0}};
    for (const auto& row : rows)
    {
        SetEnvironmentVariableW(L"QUELVO_FAIL_MALLOC", *row.failedCall ? row.failedCall : nullptr);
        EXPECT_EQ(row.exitCode,
                  RunCommandLine(L"\"startup_probe.exe\" first second", FromBuild(QUELVO_E2E_STARTUP_PROBE)))
            << "failed call " << Utf8FromUtf16(row.failedCall);
    }
    SetEnvironmentVariableW(L"QUELVO_FAIL_MALLOC", nullptr);
}
} // namespace
} // namespace Quelvo
