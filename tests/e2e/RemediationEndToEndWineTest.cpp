// remediation.exe with the demo product: the exit code and the journal of each command.
#include "base/Format.h"
#include "e2e/ProductFolderTest.h"
#include "installer/ServiceInstaller.h"
#include "os/OsInfoImpl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace Quelvo
{
namespace
{
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testing::Connected;
using testing::FromBuild;

class RemediationEndToEndTest : public testing::ProductFolderTest
{
};

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

// 87 from the product is that action's failure, not a line without an action: nothing is relaunched,
// and a trusted line does not go on to disable.
TEST_F(RemediationEndToEndTest, AnActionFailingWith87IsNeitherRelaunchedNorFollowedByADisable)
{
    WriteScript("result.StartUpdate=87\ntimestamp=2000-01-01T00:00:00Z\n");
    EXPECT_EQ(87u, Run(L"/av /update /disable"));
    EXPECT_EQ(87u, Run(L"/av /update /disable /trusted"));
    const auto journal = Journal();
    EXPECT_EQ(2, std::count(journal.begin(), journal.end(), "Updater#2.StartUpdate(\"\", true, slot)"));
    EXPECT_EQ(journal.end(), std::find_if(journal.begin(), journal.end(),
                                          [](const std::string& line) {
                                              return line.find("Launch(") != std::string::npos ||
                                                     line.find(".Disable(") != std::string::npos;
                                          }));
    EXPECT_EQ(2, std::count(journal.begin(), journal.end(), "detach live=0 strings=0"));
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
#ifdef QUELVO_E2E_FOREIGN_CLIENT
    // The demo library built for the other processor (ARM64 beside an x64 tool, or the reverse) does not
    // load, and nothing of it runs.
    InstallLibrary(QUELVO_E2E_FOREIGN_CLIENT);
    EXPECT_EQ(31u, Run(L"/av /update"));
    EXPECT_THAT(Journal(), IsEmpty());
#endif
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

TEST(RemediationFileTest, TheToolReadsItsOwnVersionBackFromTheBuiltFile)
{
    std::uint32_t major = 0, minor = 0, build = 0, revision = 0;
    OsInfoImpl().GetFileVersion(Utf8FromUtf16(FromBuild(QUELVO_E2E_TOOL)), major, minor, build, revision);
    EXPECT_EQ(QUELVO_E2E_VERSION, Format("{}.{}.{}.{}", major, minor, build, revision));
}

#ifdef QUELVO_E2E_GUARD_PROBE
// The validating Control Flow Guard build refuses what Windows refuses: each row is one indirect call of
// the probe and the exit code it must end with. The last row is the runtime's own calls, with an
// exception thrown through its frames, which is lost where an unwind entry is missing.
using GuardValidationTest = testing::ProductFolderTest;
TEST_F(GuardValidationTest, RefusesWhatWindowsRefusesAndAcceptsTheRest)
{
    constexpr DWORD kFastFail = 0xC0000409; // STATUS_STACK_BUFFER_OVERRUN
    const struct
    {
        const wchar_t* target;
        DWORD exitCode;
    } rows[] = {{L"own", 0},       {L"own+16", kFastFail}, {L"library", 0}, {L"library+16", kFastFail},
                {L"system+16", 0}, {L"heap", kFastFail},   {L"runtime", 0}};
    for (const auto& row : rows)
    {
        EXPECT_EQ(row.exitCode, RunCommandLine(L"\"guard_probe.exe\" " + std::wstring(row.target) + L" \"" +
                                                   FromBuild(QUELVO_E2E_CLIENT) + L"\"",
                                               FromBuild(QUELVO_E2E_GUARD_PROBE)))
            << Utf8FromUtf16(row.target);
    }
}
#endif
} // namespace
} // namespace Quelvo
