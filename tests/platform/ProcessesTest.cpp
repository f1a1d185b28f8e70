// What the process, token and system functions do, as documented: the simulation and Windows alike.
#include "support/Platform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const DWORD noSuchProcess = 0x7FFFFFF0;

TEST(ProcessesTest, OpenProcessOfAnUnknownIdFailsWithInvalidParameter)
{
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, OpenProcess(SYNCHRONIZE, FALSE, noSuchProcess));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(ProcessesTest, OwnProcessIsRunningAndItsWaitTimesOut)
{
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(GetCurrentProcess(), 0));
}

// Whatever rights a process grants, a handle allows only what it was opened for: Windows and Wine
// alike, and the simulation, whose process handles the tool's masks are pinned against.
TEST(ProcessesTest, AProcessHandleAllowsOnlyWhatItWasOpenedFor)
{
    const HANDLE waitOnly = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
    ASSERT_NE(nullptr, waitOnly);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(waitOnly, 0));
    DWORD code = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetExitCodeProcess(waitOnly, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryFullProcessImageNameW(waitOnly, 0, path.data(), &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    // Windows asks for a query right on the process handle of OpenProcessToken; Wine does not check it.
    if (!Quelvo::Testing::RunningUnderWine())
    {
        HANDLE token = nullptr;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(OpenProcessToken(waitOnly, TOKEN_QUERY, &token));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_TRUE(CloseHandle(waitOnly));

    // The limited query right is enough for the image path and the exit code, not for a wait.
    const HANDLE queryOnly = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(nullptr, queryOnly);
    EXPECT_TRUE(GetExitCodeProcess(queryOnly, &code));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    size = static_cast<DWORD>(path.size());
    EXPECT_TRUE(QueryFullProcessImageNameW(queryOnly, 0, path.data(), &size));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), WaitForSingleObject(queryOnly, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(CloseHandle(queryOnly));
}

TEST(ProcessesTest, ImageNameSizeProtocol)
{
    std::vector<wchar_t> module(MAX_PATH * 4, L'\0');
    const DWORD moduleLength = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    ASSERT_GT(moduleLength, 3u);

    std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
    DWORD size = 3;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryFullProcessImageNameW(GetCurrentProcess(), 0, buffer.data(), &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    size = static_cast<DWORD>(buffer.size());
    ASSERT_TRUE(QueryFullProcessImageNameW(GetCurrentProcess(), 0, buffer.data(), &size));
    EXPECT_EQ(moduleLength, size); // characters written, without the NUL
    EXPECT_EQ(L'\0', buffer[size]);
}

TEST(ProcessesTest, ModuleFileNameTruncationReturnsTheSizeAndInsufficientBuffer)
{
    std::vector<wchar_t> buffer(8, L'\0');
    SetLastError(0xdeadbeef);
    EXPECT_EQ(4u, GetModuleFileNameW(nullptr, buffer.data(), 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(ProcessesTest, PrivilegeLookupAndAdjustment)
{
    LUID luid{};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(LookupPrivilegeValueW(nullptr, L"SeNoSuchPrivilege", &luid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE), GetLastError());

    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &luid));
    EXPECT_EQ(19u, luid.LowPart);

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TOKEN_PRIVILEGES previous{};
    DWORD length = 0;
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &wanted, sizeof(previous), &previous, &length));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError()); // success sets the last error

    HANDLE duplicate = nullptr;
    EXPECT_FALSE(
        DuplicateTokenEx(token, TOKEN_QUERY, nullptr, SecurityImpersonation, TokenPrimary, &duplicate));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()); // opened without TOKEN_DUPLICATE
    EXPECT_TRUE(CloseHandle(token));
}

TEST(ProcessesTest, SystemDirectoryTwoCallProtocol)
{
    const UINT needed = GetSystemDirectoryW(nullptr, 0);
    ASSERT_GT(needed, 1u);
    std::wstring directory(needed, L'\0');
    EXPECT_EQ(needed - 1, GetSystemDirectoryW(directory.data(), needed));
    EXPECT_EQ(needed, GetSystemDirectoryW(directory.data(), needed - 1)); // too small: the needed size again
}

TEST(ProcessesTest, VerifyVersionInfoComparesAndReportsOldVersion)
{
    OSVERSIONINFOEXW wanted{};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.dwMajorVersion = 99;
    const DWORDLONG conditions = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(VerifyVersionInfoW(&wanted, VER_MAJORVERSION, conditions));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OLD_WIN_VERSION), GetLastError());

    wanted.dwMajorVersion = 5;
    EXPECT_TRUE(VerifyVersionInfoW(&wanted, VER_MAJORVERSION, conditions));
    EXPECT_EQ(0x18ull, VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL));
}

TEST(ProcessesTest, RegistryStringMoreDataReportsTheNeededSize)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                            KEY_READ | KEY_WOW64_64KEY, &key));
    wchar_t tooSmall[2] = {};
    DWORD size = sizeof(tooSmall);
    EXPECT_EQ(ERROR_MORE_DATA,
              RegGetValueW(key, nullptr, L"EditionID", RRF_RT_REG_SZ, nullptr, tooSmall, &size));
    std::vector<wchar_t> buffer(size / sizeof(wchar_t), L'\0');
    const DWORD needed = size;
    EXPECT_EQ(ERROR_SUCCESS,
              RegGetValueW(key, nullptr, L"EditionID", RRF_RT_REG_SZ, nullptr, buffer.data(), &size));
    // Wine reports the stored size; Windows may add one character for a terminator it would append.
    const DWORD stored = static_cast<DWORD>((std::wstring(buffer.data()).size() + 1) * sizeof(wchar_t));
    EXPECT_TRUE(needed == stored || needed == stored + sizeof(wchar_t)) << needed << " for " << stored;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegGetValueW(key, nullptr, L"NoSuchValueHere", RRF_RT_REG_SZ, nullptr, buffer.data(), &size));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}
} // namespace
