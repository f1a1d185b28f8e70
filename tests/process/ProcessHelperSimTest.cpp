#include "process/ProcessHelper.h"

#include "support/Caught.h"

#include <SimTest.h>
#include <winsim/Modules.h>
#include <winsim/Processes.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace Quelvo;
using namespace std::chrono_literals;

namespace
{
const std::wstring uiPath = L"C:\\Program Files\\Product\\ui.exe";

winsim::ApplicationDefinition ExitsAfter(std::uint64_t milliseconds, DWORD exitCode = 0)
{
    winsim::ApplicationDefinition definition;
    definition.exitAfterMilliseconds = milliseconds;
    definition.exitCode = exitCode;
    return definition;
}

class ProcessHelperSimTest : public winsim::testing::SimTest
{
protected:
    ProcessHelper helper;
};

TEST_F(ProcessHelperSimTest, StartProcessPassesQuotedFileNameAndPlainStartup)
{
    winsim::AddApplication(uiPath);
    const auto id = helper.StartProcess(uiPath, L"", CREATE_NO_WINDOW);

    ASSERT_EQ(1u, winsim::ProcessCreations().size());
    const auto& creation = winsim::ProcessCreations().front();
    EXPECT_EQ(uiPath, creation.applicationName);
    EXPECT_EQ(L"\"ui.exe\" ", creation.commandLine);
    EXPECT_EQ(static_cast<DWORD>(CREATE_NO_WINDOW), creation.creationFlags);
    EXPECT_FALSE(creation.processAttributesGiven);
    EXPECT_FALSE(creation.threadAttributesGiven);
    EXPECT_FALSE(creation.inheritHandles);
    EXPECT_FALSE(creation.environmentGiven);
    EXPECT_FALSE(creation.currentDirectory.has_value());
    ASSERT_TRUE(creation.startupInfoGiven);
    EXPECT_EQ(sizeof(STARTUPINFOW), creation.startupInfo.cb);
    EXPECT_EQ(0u, creation.startupInfo.dwFlags);
    EXPECT_EQ(nullptr, creation.startupInfo.lpDesktop);
    EXPECT_EQ(creation.processId, id);
    EXPECT_TRUE(winsim::IsProcessRunning(id)); // not waited for
}

TEST_F(ProcessHelperSimTest, StartProcessTakesTheLastComponentOfAnyPath)
{
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"C:/Tools/app/ui.exe", L"\"ui.exe\" /renew"},
        {L"C:\\Tools/mixed\\ui.exe", L"\"ui.exe\" /renew"},
        {L"C:ui.exe", L"\"ui.exe\" /renew"},
        {L"\\\\server\\share\\ui.exe", L"\"ui.exe\" /renew"},
        {L"ui.exe", L"\"ui.exe\" /renew"},
    };
    for (const auto& [path, expected] : cases)
    {
        winsim::AddApplication(path);
        helper.StartProcess(path, L"/renew", 0);
        EXPECT_EQ(expected, winsim::ProcessCreations().back().commandLine);
    }
}

TEST_F(ProcessHelperSimTest, StartProcessFailureCarriesTheCodeAndThePath)
{
    const auto error = Testing::CaughtSystemError([&] { helper.StartProcess(uiPath, L"", 0); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());
    EXPECT_EQ(std::system_category(), error.code().category());
    EXPECT_THAT(error.what(),
                testing::HasSubstr("Can't create new process C:\\Program Files\\Product\\ui.exe"));

    winsim::AddApplication(uiPath);
    winsim::FailNext("CreateProcessW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(
        ERROR_ACCESS_DENIED,
        Testing::CaughtSystemError([&] { helper.StartProcessAndWait(uiPath, L"", 0, 5s); }).code().value());
}

TEST_F(ProcessHelperSimTest, StartProcessAndWaitReturnsTheExitCode)
{
    winsim::AddApplication(uiPath, ExitsAfter(1500, 1060));
    EXPECT_EQ(1060u, helper.StartProcessAndWait(uiPath, L"/x", 0, 2s));
    EXPECT_EQ(1500u, winsim::NowMilliseconds());
    EXPECT_EQ(L"\"ui.exe\" /x", winsim::ProcessCreations().back().commandLine);
}

TEST_F(ProcessHelperSimTest, StartProcessAndWaitTimeOutLeavesTheProcessRunning)
{
    winsim::AddApplication(uiPath, ExitsAfter(3000));
    const auto error = Testing::CaughtSystemError([&] { helper.StartProcessAndWait(uiPath, L"", 0, 2s); });
    EXPECT_THAT(error.what(),
                testing::HasSubstr("Can't wait of process ending C:\\Program Files\\Product\\ui.exe"));
    EXPECT_EQ(2000u, winsim::NowMilliseconds());
    EXPECT_TRUE(winsim::IsProcessRunning(winsim::ProcessCreations().back().processId));

    const auto zero = Testing::CaughtSystemError([&] { helper.StartProcessAndWait(uiPath, L"", 0, 0s); });
    EXPECT_THAT(zero.what(), testing::HasSubstr("Can't wait of process ending"));
}

TEST_F(ProcessHelperSimTest, StartProcessAndWaitFailuresOfWaitAndExitCode)
{
    winsim::AddApplication(uiPath, ExitsAfter(10));
    winsim::FailNext("WaitForSingleObject", ERROR_INVALID_HANDLE);
    EXPECT_EQ(
        ERROR_INVALID_HANDLE,
        Testing::CaughtSystemError([&] { helper.StartProcessAndWait(uiPath, L"", 0, 1s); }).code().value());

    winsim::FailNext("GetExitCodeProcess", ERROR_ACCESS_DENIED);
    const auto error = Testing::CaughtSystemError([&] { helper.StartProcessAndWait(uiPath, L"", 0, 1s); });
    EXPECT_EQ(ERROR_ACCESS_DENIED, error.code().value());
    EXPECT_THAT(error.what(), testing::HasSubstr("Can't get exit code for process C:\\Program Files"));
}

// A time-out beyond the longest finite wait waits that long: not for ever, and not the 704 ms that
// 4294968 s * 1000 wraps to in 32 bits.
TEST_F(ProcessHelperSimTest, StartProcessAndWaitClampsItsTimeOutToTheLongestFiniteWait)
{
    winsim::AddApplication(uiPath, ExitsAfter(100000, 7));
    EXPECT_EQ(7u, helper.StartProcessAndWait(uiPath, L"", 0, std::chrono::seconds(4294968)));
    EXPECT_EQ(100000u, winsim::NowMilliseconds());

    winsim::AddApplication(uiPath);
    const std::vector<std::pair<std::chrono::seconds, std::uint64_t>> waits = {
        {std::chrono::seconds(4294967), 4294967000u},
        {std::chrono::seconds(4294968), 4294967294u},
        {std::chrono::seconds::max(), 4294967294u},
        {std::chrono::seconds(-1), 0u},
    };
    for (const auto& [timeout, waited] : waits)
    {
        SCOPED_TRACE(timeout.count());
        const std::uint64_t before = winsim::NowMilliseconds();
        EXPECT_THROW(helper.StartProcessAndWait(uiPath, L"", 0, timeout), std::system_error);
        EXPECT_EQ(waited, winsim::NowMilliseconds() - before);
    }
    EXPECT_EQ(0u, winsim::RefusedInfiniteWaits());
}

TEST_F(ProcessHelperSimTest, KillProcessEndsTheProcessWithExitCodeZero)
{
    const DWORD id = winsim::StartProcess(L"C:\\x\\victim.exe");
    EXPECT_EQ(0u, helper.KillProcess(id, 1000));
    EXPECT_EQ(0u, winsim::ProcessExitCode(id));
}

TEST_F(ProcessHelperSimTest, KillProcessReportsATimeOut)
{
    winsim::ApplicationDefinition stubborn;
    stubborn.terminationDelayMilliseconds = 5000;
    winsim::AddApplication(uiPath, stubborn);
    const auto id = helper.StartProcess(uiPath, L"", 0);
    EXPECT_EQ(static_cast<std::uint32_t>(WAIT_TIMEOUT), helper.KillProcess(id, 1000));
    EXPECT_TRUE(winsim::IsProcessRunning(id));
}

TEST_F(ProcessHelperSimTest, KillProcessFailures)
{
    auto error = Testing::CaughtSystemError([&] { helper.KillProcess(77777, 10); });
    EXPECT_EQ(ERROR_INVALID_PARAMETER, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Can't kill process."));

    const DWORD id = winsim::StartProcess(L"C:\\x\\victim.exe");
    winsim::FailNext("TerminateProcess", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              Testing::CaughtSystemError([&] { helper.KillProcess(id, 10); }).code().value());

    winsim::FailNext("WaitForSingleObject", ERROR_INVALID_HANDLE);
    error = Testing::CaughtSystemError([&] { helper.KillProcess(id, 10); });
    EXPECT_EQ(ERROR_INVALID_HANDLE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Can't kill process."));
}

TEST_F(ProcessHelperSimTest, GetProcessImagePathGrowsTheBufferByDoubling)
{
    struct Case
    {
        std::size_t length;
        std::size_t queries;
    };
    for (const auto& [length, queries] :
         {Case{259, 1}, Case{260, 2}, Case{261, 2}, Case{300, 2}, Case{32766, 8}})
    {
        const std::wstring path = L"C:\\" + std::wstring(length - 7, L'a') + L".exe";
        const DWORD id = winsim::StartProcess(path);
        const auto before = winsim::CallCount("QueryFullProcessImageNameW");
        EXPECT_EQ(path, helper.GetProcessImagePath(id)) << length;
        EXPECT_EQ(queries, winsim::CallCount("QueryFullProcessImageNameW") - before) << length;
    }
}

TEST_F(ProcessHelperSimTest, GetProcessImagePathStopsAtTheLongestPath)
{
    // 32766 characters and the NUL are the most a buffer of 32767 holds.
    const DWORD id = winsim::StartProcess(L"C:\\" + std::wstring(32764, L'a'));
    const auto error = Testing::CaughtSystemError([&] { helper.GetProcessImagePath(id); });
    EXPECT_EQ(ERROR_FILENAME_EXCED_RANGE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Process path exceeds Windows maximum path length"));
    EXPECT_EQ(8u, winsim::CallCount("QueryFullProcessImageNameW"));
}

TEST_F(ProcessHelperSimTest, GetProcessImagePathFailures)
{
    auto error = Testing::CaughtSystemError([&] { helper.GetProcessImagePath(77777); });
    EXPECT_EQ(ERROR_INVALID_PARAMETER, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to open process for version query"));

    const DWORD id = winsim::StartProcess(L"C:\\x\\a.exe");
    winsim::DenyProcessAccess(id);
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              Testing::CaughtSystemError([&] { helper.GetProcessImagePath(id); }).code().value());

    const DWORD other = winsim::StartProcess(L"C:\\x\\b.exe");
    winsim::FailNext("QueryFullProcessImageNameW", ERROR_GEN_FAILURE);
    error = Testing::CaughtSystemError([&] { helper.GetProcessImagePath(other); });
    EXPECT_EQ(ERROR_GEN_FAILURE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("Failed to get process image name"));
}

// A helper that opens processes its own way changes how GetProcessImagePath opens them.
class RecordingHelper : public ProcessHelper
{
public:
    std::shared_ptr<WinHandle> OpenProcessHandle(std::uint32_t desiredAccess, bool inheritHandle,
                                                 std::uint32_t processId) override
    {
        calls.push_back({desiredAccess, inheritHandle, processId});
        return ProcessHelper::OpenProcessHandle(desiredAccess, inheritHandle, processId);
    }
    std::vector<std::tuple<std::uint32_t, bool, std::uint32_t>> calls;
};

TEST_F(ProcessHelperSimTest, GetProcessImagePathOpensThroughTheVirtualOperation)
{
    const DWORD id = winsim::StartProcess(L"C:\\x\\a.exe");
    RecordingHelper recording;
    EXPECT_EQ(L"C:\\x\\a.exe", recording.GetProcessImagePath(id));
    ASSERT_EQ(1u, recording.calls.size());
    EXPECT_EQ(std::make_tuple(std::uint32_t{PROCESS_QUERY_LIMITED_INFORMATION}, false, std::uint32_t{id}),
              recording.calls.front());
}

TEST_F(ProcessHelperSimTest, OpenProcessHandleLeavesTheErrorForTheCaller)
{
    EXPECT_EQ(nullptr, helper.OpenProcessHandle(SYNCHRONIZE, false, 77777));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    const DWORD id = winsim::StartProcess(L"C:\\x\\a.exe");
    auto handle = helper.OpenProcessHandle(SYNCHRONIZE, false, id);
    ASSERT_NE(nullptr, handle);
    auto copy = handle;
    handle.reset();
    EXPECT_EQ(1u, winsim::OpenHandleCount());
    copy.reset();
    EXPECT_EQ(0u, winsim::OpenHandleCount());
}

TEST_F(ProcessHelperSimTest, AdjustPrivilegesReportsWhetherEachWasChanged)
{
    EXPECT_TRUE(helper.AdjustPrivileges({}, SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(1u, winsim::CallCount("OpenProcessToken"));

    EXPECT_TRUE(helper.AdjustPrivileges({SE_SHUTDOWN_NAME}, SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(static_cast<DWORD>(SE_PRIVILEGE_ENABLED), winsim::PrivilegeAttributes(SE_SHUTDOWN_NAME));
    // Already enabled: nothing changes, and the result says so, but the next name is still done.
    EXPECT_FALSE(helper.AdjustPrivileges({SE_SHUTDOWN_NAME, L"SeUndockPrivilege"}, SE_PRIVILEGE_ENABLED));
    EXPECT_EQ(static_cast<DWORD>(SE_PRIVILEGE_ENABLED), winsim::PrivilegeAttributes(L"SeUndockPrivilege"));
    EXPECT_TRUE(helper.AdjustPrivileges({SE_SHUTDOWN_NAME}, 0));
    EXPECT_EQ(0u, winsim::PrivilegeAttributes(SE_SHUTDOWN_NAME));
}

TEST_F(ProcessHelperSimTest, AdjustPrivilegesFailures)
{
    auto error = Testing::CaughtSystemError(
        [&] { helper.AdjustPrivileges({L"SeNoSuchPrivilege"}, SE_PRIVILEGE_ENABLED); });
    EXPECT_EQ(ERROR_NO_SUCH_PRIVILEGE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("LookupPrivilegeValue failed"));

    error =
        Testing::CaughtSystemError([&] { helper.AdjustPrivileges({SE_DEBUG_NAME}, SE_PRIVILEGE_ENABLED); });
    EXPECT_EQ(ERROR_NOT_ALL_ASSIGNED, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("The token does not have the specified privilege."));

    winsim::FailNext("OpenProcessToken", ERROR_ACCESS_DENIED);
    error = Testing::CaughtSystemError([&] { helper.AdjustPrivileges({}, 0); });
    EXPECT_EQ(ERROR_ACCESS_DENIED, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("OpenProcessToken failed"));

    winsim::FailNext("AdjustTokenPrivileges", ERROR_INVALID_HANDLE);
    error = Testing::CaughtSystemError(
        [&] { helper.AdjustPrivileges({SE_SHUTDOWN_NAME}, SE_PRIVILEGE_ENABLED); });
    EXPECT_EQ(ERROR_INVALID_HANDLE, error.code().value());
    EXPECT_THAT(error.what(), testing::StartsWith("AdjustTokenPrivileges failed"));
}

TEST_F(ProcessHelperSimTest, Utf8FromPathFallsBackToTheShortForm)
{
    EXPECT_EQ("C:\\Tools\\\xC3\xA9.exe", Utf8FromPath(L"C:\\Tools\\\u00E9.exe"));
    const std::wstring broken = std::wstring(L"C:\\Tools\\") + wchar_t(0xD800) + L".exe";
    winsim::AddShortName(broken, L"C:\\Tools\\X~1.EXE");
    EXPECT_EQ("C:\\Tools\\X~1.EXE", Utf8FromPath(broken));
    EXPECT_THROW(Utf8FromPath(std::wstring(L"C:\\missing\\") + wchar_t(0xD800)), std::system_error);
}

TEST_F(ProcessHelperSimTest, GetModulePathReadsPathsOfAnyLength)
{
    for (const std::size_t length : {10u, 260u, 261u, 32766u, 32767u, 40000u})
    {
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'p');
        winsim::SetExecutablePath(path);
        EXPECT_EQ(path, GetModulePath(nullptr)) << length;
    }
    // Only 32767 and 40000 characters took a second call: the first buffer holds 32766 and the NUL.
    EXPECT_EQ(8u, winsim::CallCount("GetModuleFileNameW"));

    winsim::AddLibrary(L"C:\\x\\lib.dll", {});
    const HMODULE library = LoadLibraryExW(L"C:\\x\\lib.dll", nullptr, 0);
    EXPECT_EQ(L"C:\\x\\lib.dll", GetModulePath(library));
    FreeLibrary(library);
}

TEST_F(ProcessHelperSimTest, GetModulePathIgnoresAStaleLastError)
{
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(winsim::ExecutablePath(), GetModulePath(nullptr));
    EXPECT_EQ(1u, winsim::CallCount("GetModuleFileNameW"));
}

TEST_F(ProcessHelperSimTest, GetModulePathFailures)
{
    winsim::FailNext("GetModuleFileNameW", ERROR_MOD_NOT_FOUND);
    try
    {
        GetModulePath(nullptr);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::filesystem::filesystem_error& error)
    {
        EXPECT_EQ(ERROR_MOD_NOT_FOUND, error.code().value());
        EXPECT_EQ(std::system_category(), error.code().category());
        EXPECT_THAT(error.what(), testing::HasSubstr("Can't get full path"));
    }
    // A short-buffer report with nothing written cannot make the buffer grow.
    winsim::FailNext("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER);
    EXPECT_THROW(GetModulePath(nullptr), std::filesystem::filesystem_error);
}
} // namespace
