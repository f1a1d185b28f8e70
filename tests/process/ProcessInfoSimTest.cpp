#include "process/ProcessInfo.h"

#include "base/TextConversion.h"

#include <SimTest.h>
#include <winsim/Processes.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace Quelvo;

namespace
{
class ProcessInfoSimTest : public winsim::testing::SimTest
{
protected:
    static std::wstring PathOfLength(std::size_t length) { return L"C:\\" + std::wstring(length - 3, L'q'); }
};

TEST_F(ProcessInfoSimTest, OwnProcessReadsTheModuleFileNameWithoutOpeningAProcess)
{
    const ProcessInfo info(GetCurrentProcessId());
    EXPECT_EQ(winsim::CurrentProcessId(), info.GetProcessId());
    EXPECT_EQ(winsim::ExecutablePath(), info.GetImagePath());
    EXPECT_EQ(0u, winsim::CallCount("OpenProcess"));
    EXPECT_EQ(1u, winsim::CallCount("GetModuleFileNameW"));
}

TEST_F(ProcessInfoSimTest, OwnPathGrowsUntilTheWholePathFits)
{
    struct Case
    {
        std::size_t length;
        std::size_t calls;
    };
    // 259 fits 260; 260 and 261 need the second call of size 261 and 262 (count + 1)... 261 needs a third.
    for (const auto& [length, calls] :
         {Case{259, 1}, Case{260, 2}, Case{261, 3}, Case{300, 3}, Case{32766, 9}})
    {
        winsim::Reset();
        const auto path = PathOfLength(length);
        winsim::SetExecutablePath(path);
        const ProcessInfo info(winsim::CurrentProcessId());
        EXPECT_EQ(path, info.GetImagePath()) << length;
        EXPECT_EQ(calls, winsim::CallCount("GetModuleFileNameW")) << length;
    }
}

TEST_F(ProcessInfoSimTest, OwnPathThatNeverFitsRaises)
{
    // 32766 characters fit (above); from 32767 on the path is longer than Windows paths are.
    for (const std::size_t length : {32767u, 40000u})
    {
        winsim::SetExecutablePath(PathOfLength(length));
        try
        {
            ProcessInfo info(winsim::CurrentProcessId());
            ADD_FAILURE() << "no exception for " << length;
        }
        catch (const std::system_error& error)
        {
            EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, error.code().value());
            EXPECT_THAT(error.what(), testing::StartsWith("Failed to get the correct path"));
        }
    }
}

TEST_F(ProcessInfoSimTest, StaleLastErrorDoesNotMakeTheOwnPathGrow)
{
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    const ProcessInfo info(winsim::CurrentProcessId());
    EXPECT_EQ(winsim::ExecutablePath(), info.GetImagePath());
    EXPECT_EQ(1u, winsim::CallCount("GetModuleFileNameW"));
}

TEST_F(ProcessInfoSimTest, OwnPathFailure)
{
    winsim::FailNext("GetModuleFileNameW", ERROR_NOT_ENOUGH_MEMORY);
    try
    {
        ProcessInfo info(winsim::CurrentProcessId());
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(ERROR_NOT_ENOUGH_MEMORY, error.code().value());
        EXPECT_EQ(std::system_category(), error.code().category());
        EXPECT_THAT(error.what(), testing::StartsWith("Failed to get the correct path"));
    }
}

TEST_F(ProcessInfoSimTest, OtherProcessPathsOfAnyLength)
{
    for (const std::size_t length : {10u, 259u, 260u, 261u, 300u, 32766u})
    {
        const auto path = PathOfLength(length);
        const DWORD id = winsim::StartProcess(path);
        const ProcessInfo info(id);
        EXPECT_EQ(id, info.GetProcessId());
        EXPECT_EQ(path, info.GetImagePath()) << length;
        EXPECT_EQ(Utf8FromUtf16(path), info.GetImagePathUtf8());
    }
    const auto queries = winsim::CallCount("QueryFullProcessImageNameW");
    const std::size_t expected = 1 + 1 + 2 + 2 + 2 + 8;
    EXPECT_EQ(expected, queries);
    EXPECT_EQ(6u, winsim::CallCount("OpenProcess"));
}

TEST_F(ProcessInfoSimTest, OtherProcessFailures)
{
    const std::vector<std::tuple<std::function<DWORD()>, DWORD>> cases = {
        {[] { return DWORD{77777}; }, ERROR_INVALID_PARAMETER},
        {[]
         {
             const DWORD id = winsim::StartProcess(L"C:\\x\\a.exe");
             winsim::DenyProcessAccess(id);
             return id;
         },
         ERROR_ACCESS_DENIED},
        {[]
         {
             const DWORD id = winsim::StartProcess(L"C:\\x\\a.exe");
             winsim::FailNext("QueryFullProcessImageNameW", ERROR_GEN_FAILURE);
             return id;
         },
         ERROR_GEN_FAILURE},
        {[] { return winsim::StartProcess(L"C:\\" + std::wstring(40000, L'z')); }, ERROR_INSUFFICIENT_BUFFER},
        // One character more than the 32766 that fit (above).
        {[] { return winsim::StartProcess(L"C:\\" + std::wstring(32764, L'z')); }, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& [prepare, code] : cases)
    {
        const DWORD id = prepare();
        try
        {
            ProcessInfo info(id);
            ADD_FAILURE() << "no exception for " << code;
        }
        catch (const std::system_error& error)
        {
            EXPECT_EQ(static_cast<int>(code), error.code().value());
            EXPECT_THAT(error.what(), testing::StartsWith("Failed to open process"));
        }
    }
}

TEST_F(ProcessInfoSimTest, Utf8OfAPathThatIsNotUtf16Raises)
{
    const std::wstring broken = std::wstring(L"C:\\x\\") + wchar_t(0xDC00) + L".exe";
    const ProcessInfo info(winsim::StartProcess(broken));
    EXPECT_EQ(broken, info.GetImagePath());
    EXPECT_THROW(info.GetImagePathUtf8(), ConversionException);
}
} // namespace
