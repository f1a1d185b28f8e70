// The fixture of the end-to-end tests: each case lays out a product folder (the tool, the demo client
// library, the demo UI), writes the product's script, starts the tool with CreateProcessW and reads its
// full 32-bit exit code and the demo library's journal.
// The tool runs with the LANG of an ordinary Linux desktop, which Wine passes on.
#pragma once

#include "base/TextConversion.h"
#include "support/BuildPath.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace Quelvo::testing
{
using Testing::FromBuild;

// A variable of the test's environment; empty where it is not set.
inline std::wstring EnvironmentVariable(const wchar_t* name)
{
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    if (value.empty())
    {
        return value;
    }
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

inline std::vector<std::string> ReadLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::ifstream file(Utf8FromUtf16(path));
    std::string line;
    while (std::getline(file, line))
    {
        lines.push_back(line);
    }
    return lines;
}

class ProductFolderTest : public ::testing::Test
{
protected:
    // How every test starts the tool: its name, quoted, then one blank before the arguments.
    static constexpr std::wstring_view kProgramPart = L"\"remediation.exe\" ";

    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = std::wstring(temp) + L"remediation e2e\\" + Utf16FromUtf8(test->test_suite_name()) + L"." +
                   Utf16FromUtf8(test->name()) + L"\\";
        CreateDirectoryW((std::wstring(temp) + L"remediation e2e").c_str(), nullptr);
        CreateDirectoryW(m_folder.c_str(), nullptr);
        for (const auto* name : {L"journal.txt", L"journal.txt.trusted", L"ui.txt", L"script.txt",
                                 L"endpointprotectionclient.dll"})
        {
            DeleteFileW((m_folder + name).c_str());
        }
        // The build's tool, or the build of it that QUELVO_E2E_TOOL_PATH names.
        const std::wstring named = EnvironmentVariable(L"QUELVO_E2E_TOOL_PATH");
        const std::wstring tool = named.empty() ? FromBuild(QUELVO_E2E_TOOL) : FromBuild(named);
        ASSERT_TRUE(CopyFileW(tool.c_str(), Tool().c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(FromBuild(QUELVO_E2E_UI).c_str(), (m_folder + L"demo_ui.exe").c_str(), FALSE));
        InstallLibrary(QUELVO_E2E_CLIENT);

        SetEnvironmentVariableW(L"DEMO_PRODUCT_SCRIPT", (m_folder + L"script.txt").c_str());
        SetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", (m_folder + L"journal.txt").c_str());
        SetEnvironmentVariableW(L"DEMO_UI_LOG", (m_folder + L"ui.txt").c_str());
        // As on an ordinary Debian desktop; the tool must answer whatever its runtime makes of it.
        SetEnvironmentVariableW(L"LANG", L"en_US.UTF-8");
        WriteScript("");
    }

    void InstallLibrary(const char* buildPath)
    {
        const std::wstring target = m_folder + L"endpointprotectionclient.dll";
        DeleteFileW(target.c_str());
        ASSERT_TRUE(CopyFileW(FromBuild(buildPath).c_str(), target.c_str(), FALSE));
    }

    void RemoveLibrary() { ASSERT_TRUE(DeleteFileW((m_folder + L"endpointprotectionclient.dll").c_str())); }

    void WriteScript(const std::string& lines)
    {
        std::ofstream(Utf8FromUtf16(m_folder + L"script.txt"), std::ios::trunc) << lines;
    }

    std::wstring Tool() const { return m_folder + L"remediation.exe"; }
    std::string ToolUtf8() const { return Utf8FromUtf16(Tool()); }
    std::string UiPathUtf8() const { return Utf8FromUtf16(m_folder + L"demo_ui.exe"); }

    // Starts the tool with `arguments` and returns its exit code, all 32 bits of it.
    DWORD Run(const std::wstring& arguments)
    {
        return RunCommandLine(std::wstring(kProgramPart) + arguments);
    }

    // Starts the tool, or `program`, with the whole process command line `commandLine` (program part
    // included).
    DWORD RunCommandLine(std::wstring commandLine, const std::wstring& program = L"")
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        const auto start = [&]
        {
            SetLastError(0xdeadbeef);
            return CreateProcessW((program.empty() ? Tool() : program).c_str(), commandLine.data(), nullptr,
                                  nullptr, FALSE, 0, nullptr, m_folder.c_str(), &startup, &process);
        };
        BOOL started = start();
        // Wine once gave 1359 on a loaded machine for a start that succeeded when repeated: the new
        // process had not finished its start-up. Such a start is tried once more.
        if (!started && GetLastError() == ERROR_INTERNAL_ERROR)
        {
            started = start();
        }
        EXPECT_TRUE(started) << GetLastError();
        if (!started)
        {
            return 0xFFFFFFFF;
        }
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 120000));
        DWORD exitCode = 0xFFFFFFFF;
        EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return exitCode;
    }

    std::vector<std::string> Journal(const wchar_t* name = L"journal.txt") const
    {
        return ReadLines(m_folder + name);
    }
    std::vector<std::string> UiStarts() const { return ReadLines(m_folder + L"ui.txt"); }

    // The UI may still be writing when the tool has ended: the tool does not wait for it.
    std::vector<std::string> WaitForUiStarts(std::size_t count) const
    {
        for (int i = 0; i < 200 && UiStarts().size() < count; ++i)
        {
            Sleep(50);
        }
        return UiStarts();
    }

    std::wstring m_folder;
};

// The journal of a run that connected a client: the lines before the action's own.
inline std::vector<std::string> Connected(std::initializer_list<std::string> rest)
{
    std::vector<std::string> lines = {"attach", "GetEndpointProtectionClientFactory()",
                                      "CreateEppClient(options=0) -> EppClient#1",
                                      "EppClient#1.Connect(10000)", "GetEndpointProtectionClientFactory()"};
    lines.insert(lines.end(), rest);
    return lines;
}
} // namespace Quelvo::testing
