#include "process/ProcessHelper.h"
#include "process/ProcessInfo.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace Quelvo;
using namespace std::chrono_literals;

namespace
{
std::wstring Lower(std::wstring text)
{
    for (auto& c : text)
    {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

std::wstring Directory(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

class ProcessHelperWineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        childPath = Directory(GetModulePath(nullptr)) + L"test_child.exe";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        recordPath = std::wstring(temp) + L"quelvo_child_record.txt";
        DeleteFileW(recordPath.c_str());
        SetEnvironmentVariableW(L"QUELVO_CHILD_RECORD", recordPath.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"QUELVO_CHILD_RECORD", nullptr);
        DeleteFileW(recordPath.c_str());
    }

    std::wstring RecordedCommandLine() const
    {
        const HANDLE file = CreateFileW(recordPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
        {
            return L"<no record>";
        }
        wchar_t buffer[1024] = {};
        DWORD read = 0;
        ReadFile(file, buffer, sizeof(buffer) - sizeof(wchar_t), &read, nullptr);
        CloseHandle(file);
        return std::wstring(buffer, read / sizeof(wchar_t));
    }

    ProcessHelper helper;
    std::wstring childPath;
    std::wstring recordPath;
};

TEST_F(ProcessHelperWineTest, ChildReceivesTheQuotedFileNameAndExitsWithItsCode)
{
    EXPECT_EQ(1060u, helper.StartProcessAndWait(childPath, L"exit=1060 /renew", 0, 30s));
    EXPECT_EQ(L"\"test_child.exe\" exit=1060 /renew", RecordedCommandLine());

    EXPECT_EQ(0u, helper.StartProcessAndWait(childPath, L"", 0, 30s));
    EXPECT_EQ(L"\"test_child.exe\" ", RecordedCommandLine());
}

TEST_F(ProcessHelperWineTest, StartedProcessCanBeInspectedAndKilled)
{
    const auto id = helper.StartProcess(childPath, L"sleep=60000", 0);
    EXPECT_NE(0u, id);
    EXPECT_EQ(Lower(childPath), Lower(helper.GetProcessImagePath(id)));
    const ProcessInfo info(id);
    EXPECT_EQ(id, info.GetProcessId());
    EXPECT_EQ(Lower(childPath), Lower(info.GetImagePath()));

    EXPECT_EQ(0u, helper.KillProcess(id, 10000));
    auto handle = helper.OpenProcessHandle(PROCESS_QUERY_LIMITED_INFORMATION, false, id);
    if (handle)
    {
        DWORD code = 12345;
        ASSERT_TRUE(GetExitCodeProcess(handle->Get(), &code));
        EXPECT_EQ(0u, code); // killed with exit code 0
    }
}

TEST_F(ProcessHelperWineTest, WaitTimeOutLeavesTheChildRunning)
{
    try
    {
        helper.StartProcessAndWait(childPath, L"sleep=2000 exit=7", 0, 0s);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_THAT(error.what(), testing::StartsWith("Can't wait of process ending "));
    }
}

TEST_F(ProcessHelperWineTest, Failures)
{
    try
    {
        helper.StartProcess(Directory(childPath) + L"no_such_program.exe", L"", 0);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.code().value());
        EXPECT_THAT(error.what(), testing::StartsWith("Can't create new process "));
    }

    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, helper.OpenProcessHandle(SYNCHRONIZE, false, 0x7FFFFFF0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    try
    {
        helper.KillProcess(0x7FFFFFF0, 100);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(ERROR_INVALID_PARAMETER, error.code().value());
        EXPECT_THAT(error.what(), testing::StartsWith("Can't kill process."));
    }
    try
    {
        helper.GetProcessImagePath(0x7FFFFFF0);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(ERROR_INVALID_PARAMETER, error.code().value());
        EXPECT_THAT(error.what(), testing::StartsWith("Failed to open process for version query"));
    }
}

TEST_F(ProcessHelperWineTest, Privileges)
{
    EXPECT_TRUE(helper.AdjustPrivileges({}, SE_PRIVILEGE_ENABLED));
    EXPECT_NO_THROW(helper.AdjustPrivileges({SE_SHUTDOWN_NAME}, SE_PRIVILEGE_ENABLED));
    // Wine reports an unchanged privilege in the previous state too, so the second result is not asserted.
    EXPECT_NO_THROW(helper.AdjustPrivileges({SE_SHUTDOWN_NAME}, SE_PRIVILEGE_ENABLED));
    try
    {
        helper.AdjustPrivileges({L"SeNoSuchPrivilege"}, SE_PRIVILEGE_ENABLED);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(ERROR_NO_SUCH_PRIVILEGE, error.code().value());
        EXPECT_THAT(error.what(), testing::StartsWith("LookupPrivilegeValue failed"));
    }
}

TEST_F(ProcessHelperWineTest, OwnProcess)
{
    const auto own = GetModulePath(nullptr);
    EXPECT_THAT(Lower(own), testing::EndsWith(L"process_tests.exe"));
    const ProcessInfo info(GetCurrentProcessId());
    EXPECT_EQ(GetCurrentProcessId(), info.GetProcessId());
    EXPECT_EQ(own, info.GetImagePath());
    EXPECT_EQ(Lower(own), Lower(helper.GetProcessImagePath(GetCurrentProcessId())));

    SetLastError(ERROR_INSUFFICIENT_BUFFER); // a stale code must not make the path grow or fail
    EXPECT_EQ(own, GetModulePath(nullptr));
    EXPECT_EQ(own, ProcessInfo(GetCurrentProcessId()).GetImagePath());
}
} // namespace
