// remediation.exe with the demo product: each case lays out a product folder, writes the product's
// script, starts the tool with CreateProcessW and checks its full 32-bit exit code and the journal.
// The tool runs with the LANG of an ordinary Linux desktop, which Wine passes on.
#include "base/TextConversion.h"
#include "installer/ServiceInstaller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace Quelvo
{
namespace
{
using DemoProduct::RemoveServiceIfInstalled;
using DemoProduct::ScopedService;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A path of the build (a Unix path) as Wine's Z: drive shows it.
std::wstring FromBuild(const char* unixPath)
{
    std::wstring path = L"Z:" + Utf16FromUtf8(unixPath);
    for (auto& c : path)
    {
        c = c == L'/' ? L'\\' : c;
    }
    return path;
}

std::vector<std::string> ReadLines(const std::wstring& path)
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

class RemediationEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = std::wstring(temp) + L"remediation e2e\\" + Utf16FromUtf8(test->name()) + L"\\";
        CreateDirectoryW((std::wstring(temp) + L"remediation e2e").c_str(), nullptr);
        CreateDirectoryW(m_folder.c_str(), nullptr);
        for (const auto* name : {L"journal.txt", L"journal.txt.trusted", L"ui.txt", L"script.txt",
                                 L"endpointprotectionclient.dll"})
        {
            DeleteFileW((m_folder + name).c_str());
        }
        ASSERT_TRUE(CopyFileW(FromBuild(QUELVO_E2E_TOOL).c_str(), Tool().c_str(), FALSE));
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
        std::wstring commandLine = L"\"remediation.exe\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        SetLastError(0xdeadbeef);
        const BOOL started = CreateProcessW(Tool().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                            nullptr, m_folder.c_str(), &startup, &process);
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

const char* const kConnected[] = {"attach", "GetEndpointProtectionClientFactory()",
                                  "CreateEppClient(options=0) -> EppClient#1", "EppClient#1.Connect(10000)",
                                  "GetEndpointProtectionClientFactory()"};

std::vector<std::string> Connected(std::initializer_list<std::string> rest)
{
    std::vector<std::string> lines(std::begin(kConnected), std::end(kConnected));
    lines.insert(lines.end(), rest);
    return lines;
}

TEST_F(RemediationEndToEndTest, ALineWithoutAProtectionSwitchEndsWith87AndTouchesNothing)
{
    EXPECT_EQ(87u, Run(L""));
    EXPECT_EQ(87u, Run(L"/launch /update /renew"));
    EXPECT_THAT(Journal(), IsEmpty());
    EXPECT_THAT(UiStarts(), IsEmpty());
}

TEST_F(RemediationEndToEndTest, UpdateRunsThroughTheLibraryAndReleasesEverything)
{
    EXPECT_EQ(0u, Run(L"/AV /UPDATE"));
    EXPECT_EQ(Connected({"CreateUpdater(EppClient#1) -> Updater#2", "Updater#2.StartUpdate(\"\", true, slot)",
                         "release Updater#2", "release EppClient#1", "detach live=0 strings=0"}),
              Journal());
}

TEST_F(RemediationEndToEndTest, TheWholeCodeOfTheSdkIsTheExitCode)
{
    WriteScript("result.StartUpdate=3758100020\n");
    EXPECT_EQ(3758100020u, Run(L"/fw /update"));
    WriteScript("result.StartUpdate=1060\n");
    EXPECT_EQ(1060u, Run(L"/fw /update"));
}

TEST_F(RemediationEndToEndTest, LaunchAndRenewStartTheUiWithTheirArguments)
{
    WriteScript("ui.path=" + UiPathUtf8() + "\nstring.release=two\n");
    EXPECT_EQ(0u, Run(L"/av /launch /renew"));
    EXPECT_THAT(WaitForUiStarts(1), ElementsAre("\"demo_ui.exe\" "));
    EXPECT_EQ(0u, Run(L"/as /renew"));
    EXPECT_THAT(WaitForUiStarts(2), ElementsAre("\"demo_ui.exe\" ", "\"demo_ui.exe\" /renew"));
    const auto journal = Journal();
    EXPECT_EQ(2, std::count(journal.begin(), journal.end(), "string release two ui path"));
    EXPECT_EQ("detach live=0 strings=0", journal.back());
}

TEST_F(RemediationEndToEndTest, NoUiPathStartsNothingAndAMissingUiGives1064)
{
    EXPECT_EQ(0u, Run(L"/av /launch"));
    WriteScript("ui.path=C:\\no such folder\\ui.exe\n");
    EXPECT_EQ(1064u, Run(L"/av /launch"));
    WriteScript("ui.path=C:\\x\nresult.GetUiPath=1168\n");
    EXPECT_EQ(1168u, Run(L"/av /launch"));
    Sleep(200);
    EXPECT_THAT(UiStarts(), IsEmpty());
}

TEST_F(RemediationEndToEndTest, ALineWithoutADirectActionIsRelaunchedThroughTheLauncher)
{
    WriteScript("result.Launch=5\n");
    EXPECT_EQ(5u, Run(L"/DISABLE /AV "));
    EXPECT_EQ(Connected({"CreateTrustedProcessLauncher(EppClient#1) -> Launcher#2",
                         "Launcher#2.Launch(" + ToolUtf8() + "|/disable /av  /trusted|token|own pid|slot)",
                         "release Launcher#2", "release EppClient#1", "detach live=0 strings=0"}),
              Journal());
}

TEST_F(RemediationEndToEndTest, TheTrustedInstanceDisablesWhenTheTimeStampHasPassed)
{
    WriteScript("launcher.start=1\ntimestamp=2000-01-01T00:00:00Z\n");
    EXPECT_EQ(0u, Run(L"/av /disable"));
    const auto journal = Journal();
    EXPECT_THAT(journal, ::testing::Contains("trusted instance exit 0"));
    EXPECT_EQ(Connected({"CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                         "GetEndpointProtectionClientFactory()",
                         "CreateConfiguration(EppClient#1) -> Configuration#3",
                         "Configuration#3.GetTimestamp()", "string release one timestamp",
                         "release Configuration#3", "RealTimeProtection#2.Disable()",
                         "release RealTimeProtection#2", "release EppClient#1", "detach live=0 strings=0"}),
              Journal(L"journal.txt.trusted"));
}

TEST_F(RemediationEndToEndTest, TheTimeGateOfATrustedLine)
{
    WriteScript("timestamp=2999-01-01T00:00:00Z\n");
    EXPECT_EQ(5u, Run(L"/av /disable /trusted"));
    WriteScript("timestamp=2024/01/01\n");
    EXPECT_EQ(1064u, Run(L"/as /disable /trusted"));
    WriteScript("timestamp=2000-01-01\nresult.Disable=1234567\n");
    EXPECT_EQ(1234567u, Run(L"/av /disable /trusted"));
    WriteScript("timestamp=2000-01-01\nresult.GetTimestamp=13\n");
    EXPECT_EQ(5u, Run(L"/av /disable /trusted"));
    EXPECT_EQ(87u, Run(L"/fw /disable /trusted"));
    const auto journal = Journal();
    EXPECT_EQ(1, std::count(journal.begin(), journal.end(), "RealTimeProtection#2.Disable()"));
    EXPECT_EQ(4, std::count(journal.begin(), journal.end(), "detach live=0 strings=0"));
}

TEST_F(RemediationEndToEndTest, AMissingLibraryOrOneWithoutTheExportGives31)
{
    RemoveLibrary();
    EXPECT_EQ(31u, Run(L"/av /update"));
    InstallLibrary(QUELVO_E2E_NOEXPORT);
    EXPECT_EQ(31u, Run(L"/av /update"));
    EXPECT_EQ(31u, Run(L"/av /disable"));
}

TEST_F(RemediationEndToEndTest, AFailedConnectCreatesNothingElse)
{
    WriteScript("result.Connect=1722\n");
    EXPECT_EQ(1722u, Run(L"/fw /update"));
    EXPECT_THAT(Journal(),
                ElementsAre("attach", "GetEndpointProtectionClientFactory()",
                            "CreateEppClient(options=0) -> EppClient#1", "EppClient#1.Connect(10000)",
                            "release EppClient#1", "detach live=0 strings=0"));
}

TEST_F(RemediationEndToEndTest, ObjectsThatCannotBeCreatedGive1225)
{
    WriteScript("null.CreateUpdater=1\n");
    EXPECT_EQ(1225u, Run(L"/av /update"));
    WriteScript("result.CreateConfiguration=8\n");
    EXPECT_EQ(1225u, Run(L"/av /launch"));
    WriteScript("null.CreateTrustedProcessLauncher=1\n");
    EXPECT_EQ(1225u, Run(L"/av /disable"));
    const auto journal = Journal();
    EXPECT_EQ(3, std::count(journal.begin(), journal.end(), "detach live=0 strings=0"));
}

// The product service, installed through the SCM for one test.
class ProductService : public DemoProduct::ScopedService
{
public:
    ProductService()
        : ScopedService(L"EndpointProtectionService", L"\"" + FromBuild(QUELVO_E2E_SERVICE) + L"\"")
    {
    }
};

TEST_F(RemediationEndToEndTest, EnableWithTheServiceStoppedStartsItInsteadOfEnabling)
{
    ProductService service;
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.Status().dwCurrentState);
    EXPECT_EQ(0u, Run(L"/enable /av"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.Status().dwCurrentState);
    EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(RemediationEndToEndTest, EnableWithTheServiceRunningGoesToTheSdk)
{
    ProductService service;
    service.StartRaw();
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
    WriteScript("result.Enable=0\n");
    EXPECT_EQ(0u, Run(L"/ENABLE /AV /FW"));
    EXPECT_EQ(Connected({"CreateRealtimeProtection(EppClient#1) -> RealTimeProtection#2",
                         "RealTimeProtection#2.Enable()", "release RealTimeProtection#2",
                         "release EppClient#1", "detach live=0 strings=0"}),
              Journal());

    WriteScript("firewall.allowed=0\n");
    EXPECT_EQ(5u, Run(L"/enable /fw"));
    WriteScript("result.FirewallEnable=1450\n");
    EXPECT_EQ(1450u, Run(L"/enable /fw"));
    const auto journal = Journal();
    EXPECT_EQ(1, std::count(journal.begin(), journal.end(), "Firewall#3.Enable()"));
    EXPECT_EQ(2, std::count(journal.begin(), journal.end(), "FirewallConfigurator#2.IsEnableAllowed(false)"));
}

TEST_F(RemediationEndToEndTest, EnableWithoutTheProductServiceGives1060)
{
    DemoProduct::RemoveServiceIfInstalled(L"EndpointProtectionService");
    EXPECT_EQ(1060u, Run(L"/enable /av"));
    EXPECT_EQ(1060u, Run(L"/enable /fw"));
    EXPECT_THAT(Journal(), IsEmpty());
}
} // namespace
} // namespace Quelvo
