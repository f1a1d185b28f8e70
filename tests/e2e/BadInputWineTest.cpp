// remediation.exe given awkward command lines: the longest line a process can have, letters outside
// ASCII, unpaired surrogates, quotes and tabs, switches split in two, blanks at the end. Each ends with a
// defined code, and a relaunch hands the product's launcher the lower-cased argument text, one blank and
// "/trusted", byte for byte.
//
// Lower-casing: the tool folds its line with the ctype facet of the user's default locale as the C++
// runtime resolves it; the length never changes. MinGW-w64's runtime knows no locale but "C"
// (LANG=en_US.UTF-8 names none it knows), so the tool folds with the classic locale, whose ctype maps
// only 'A'-'Z'; MSVC's knows the user's, which also folds Ä, É, Σ, Cyrillic and İ (U+0130). A line
// outside ASCII may come out in either fold, and in no other.
#include "app/CommandLine.h"
#include "e2e/ProductFolderTest.h"

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
using testing::Connected;
using ::testing::Contains;
using ::testing::IsEmpty;

constexpr DWORD kNoUnicodeTranslation = 1113; // ERROR_NO_UNICODE_TRANSLATION
constexpr DWORD kNothingToDo = 87;            // ERROR_INVALID_PARAMETER

// The longest process command line that CreateProcessW passes on intact: 32767 characters with the
// terminating NUL. (Wine cuts a longer one to this length without failing.)
constexpr std::size_t kLongestCommandLine = 32766;

// What the user's default locale makes of a line, where this runtime knows it (the classic fold if not).
std::wstring UserLocaleLowerCased(std::wstring text)
{
    std::use_facet<std::ctype<wchar_t>>(LocaleOrClassic("")).tolower(text.data(), text.data() + text.size());
    return text;
}

class BadInputTest : public testing::ProductFolderTest
{
protected:
    // The journal of a relaunch that reached the launcher with `arguments` (UTF-8).
    std::vector<std::string> Relaunched(const std::string& arguments) const
    {
        return Connected({"CreateTrustedProcessLauncher(EppClient#1) -> Launcher#2",
                          "Launcher#2.Launch(" + ToolUtf8() + "|" + arguments + "|token|own pid|slot)",
                          "release Launcher#2", "release EppClient#1", "detach live=0 strings=0"});
    }

    // The relaunch of `arguments` with the classic fold's text `classicFold`, or in the user's locale's fold.
    ::testing::Matcher<std::vector<std::string>> RelaunchedFolded(const std::wstring& arguments,
                                                                  const std::string& classicFold) const
    {
        const std::string userFold = Utf8FromUtf16(UserLocaleLowerCased(arguments)) + " /trusted";
        return ::testing::AnyOf(::testing::Eq(Relaunched(classicFold)), ::testing::Eq(Relaunched(userFold)));
    }

    // The journal of a relaunch that failed before the launcher was called.
    static std::vector<std::string> RelaunchAbandoned()
    {
        return Connected({"CreateTrustedProcessLauncher(EppClient#1) -> Launcher#2", "release Launcher#2",
                          "release EppClient#1", "detach live=0 strings=0"});
    }

    static std::vector<std::string> Updated()
    {
        return Connected({"CreateUpdater(EppClient#1) -> Updater#2",
                          "Updater#2.StartUpdate(\"\", true, slot)", "release Updater#2",
                          "release EppClient#1", "detach live=0 strings=0"});
    }

    // Arguments that fill the process command line to exactly `kLongestCommandLine` characters:
    // `head`, then `filler` repeated (and cut), then `tail`.
    static std::wstring LongestArguments(const std::wstring& head, const std::wstring& filler,
                                         const std::wstring& tail)
    {
        const std::size_t length = kLongestCommandLine - kProgramPart.size();
        std::wstring arguments = head;
        while (arguments.size() + tail.size() < length)
        {
            arguments += filler;
        }
        arguments.resize(length - tail.size());
        return arguments + tail;
    }

    void ClearJournal() { DeleteFileW((m_folder + L"journal.txt").c_str()); }
};

// What the classic locale makes of a line: 'A'-'Z' folded, nothing else touched.
std::wstring AsciiLowerCased(std::wstring text)
{
    for (auto& unit : text)
    {
        if (unit >= L'A' && unit <= L'Z')
        {
            unit = static_cast<wchar_t>(unit - L'A' + L'a');
        }
    }
    return text;
}

TEST_F(BadInputTest, TheLongestCommandLineRunsItsActionWhereverTheSwitchesStand)
{
    const auto atTheStart = LongestArguments(L"/AV /UPDATE ", L"PADDING ", L"");
    ASSERT_EQ(kLongestCommandLine, kProgramPart.size() + atTheStart.size());
    EXPECT_EQ(0u, Run(atTheStart));
    EXPECT_EQ(Updated(), Journal());

    // The switch test covers the whole line: the last characters count as much as the first.
    ClearJournal();
    EXPECT_EQ(0u, Run(LongestArguments(L"", L"x ", L" /Fw /Update")));
    EXPECT_EQ(Updated(), Journal());
}

TEST_F(BadInputTest, TheLongestCommandLineIsRelaunchedWhole)
{
    WriteScript("result.Launch=0\n");
    const auto arguments = LongestArguments(L"/AV /DISABLE ", L"Mixed Case Words ", L"");
    ASSERT_EQ(kLongestCommandLine, kProgramPart.size() + arguments.size());
    EXPECT_EQ(0u, Run(arguments));
    const std::string expected = Utf8FromUtf16(AsciiLowerCased(arguments)) + " /trusted";
    EXPECT_EQ(Relaunched(expected), Journal());
}

TEST_F(BadInputTest, TheLongestCommandLineOfNonAsciiTextGrowsInUtf8AndIsRelaunchedWhole)
{
    // Two and three UTF-8 bytes a character: the launcher's text is more than twice the line.
    WriteScript("result.Launch=1234\n");
    const auto arguments = LongestArguments(L"/AS /DISABLE ", L"\u20AC\u0130\u0131\u20AC\u20AC ", L"");
    EXPECT_EQ(1234u, Run(arguments));
    const std::string expected = Utf8FromUtf16(AsciiLowerCased(arguments)) + " /trusted";
    EXPECT_GT(expected.size(), 2 * arguments.size());
    EXPECT_THAT(Journal(), RelaunchedFolded(arguments, expected));
}

TEST_F(BadInputTest, TheLongestCommandLineEndingInALoneSurrogateCannotBeRelaunched)
{
    EXPECT_EQ(kNoUnicodeTranslation, Run(LongestArguments(L"/av /disable ", L"a", L"\xD800")));
    EXPECT_EQ(RelaunchAbandoned(), Journal());
}

TEST_F(BadInputTest, LettersOutsideAsciiFollowTheLocaleWhileTheSwitchesAreFolded)
{
    WriteScript("result.Launch=0\n");
    // German, French, Greek, Cyrillic, and the Turkish pairs whose folding depends on the locale.
    const std::wstring line = L"/AV /DISABLE \u00C4RGER \u00C9T\u00C9 \u03A3\u039F\u03A6\u0399\u0391 "
                              L"\u041C\u041E\u0421\u041A\u0412\u0410 \u0130STANBUL DiYARBAKIR \u0131\u0130iI";
    EXPECT_EQ(0u, Run(line));
    EXPECT_THAT(
        Journal(),
        RelaunchedFolded(
            line, Utf8FromUtf16(L"/av /disable \u00C4rger \u00C9t\u00C9 \u03A3\u039F\u03A6\u0399\u0391 "
                                L"\u041C\u041E\u0421\u041A\u0412\u0410 \u0130stanbul diyarbakir "
                                L"\u0131\u0130ii /trusted")));
}

TEST_F(BadInputTest, ACharacterPairOutsideTheBasicPlaneIsRelaunchedAsOneUtf8Character)
{
    WriteScript("result.Launch=0\n");
    EXPECT_EQ(0u, Run(L"/AV \xD83D\xDE00 /DISABLE"));
    EXPECT_EQ(Relaunched("/av \xF0\x9F\x98\x80 /disable /trusted"), Journal());
}

TEST_F(BadInputTest, LookAlikesOfTheProtectionSwitchesSelectNothing)
{
    // Cyrillic а (U+0430), fullwidth solidus and letters, a Turkish dotless ı in "/fw"'s place: none
    // of them is "/av", "/as" or "/fw", so the line asks for nothing.
    EXPECT_EQ(kNothingToDo, Run(L"/\u0430v /update"));
    EXPECT_EQ(kNothingToDo, Run(L"\uFF0FAV /update"));
    EXPECT_EQ(kNothingToDo, Run(L"/\uFF21\uFF36 /update"));
    EXPECT_EQ(kNothingToDo, Run(L"/\u00C0S /update"));
    EXPECT_THAT(Journal(), IsEmpty());
}

TEST_F(BadInputTest, DottedAndDotlessCapitalsAreNotTheLetterI)
{
    WriteScript("timestamp=2000-01-01T00:00:00Z\n");
    // "/dısable" holds no "/disable": a trusted line without an action gives 87. So does "/dİsable", but
    // where the user's locale folds İ to i (MSVC's runtime, by Unicode's simple mapping).
    EXPECT_EQ(kNothingToDo, Run(L"/AV /D\u0131SABLE /TRUSTED"));
    EXPECT_THAT(Journal(), IsEmpty());
    const bool dottedIsI = UserLocaleLowerCased(L"\u0130") == L"i";
    EXPECT_EQ(dottedIsI ? 0u : kNothingToDo, Run(L"/AV /D\u0130SABLE /TRUSTED"));
    EXPECT_EQ(dottedIsI, !Journal().empty());
    ClearJournal();
    // The capital I of ASCII is folded to i whatever LANG says, Turkish included.
    SetEnvironmentVariableW(L"LANG", L"tr_TR.UTF-8");
    EXPECT_EQ(0u, Run(L"/AV /DISABLE /TRUSTED"));
    SetEnvironmentVariableW(L"LANG", L"en_US.UTF-8");
    EXPECT_THAT(Journal(), Contains("RealTimeProtection#2.Disable()"));
}

TEST_F(BadInputTest, AnUnpairedSurrogateEndsTheRelaunchWithTheConversionError)
{
    const wchar_t* const lines[] = {L"/av /disable \xD800", L"/AV \xDC00 /DISABLE", L"\xDC00\xD800/fw",
                                    L"/as \xDBFF"};
    for (std::size_t i = 0; i < std::size(lines); ++i)
    {
        SCOPED_TRACE(::testing::Message() << "line " << i);
        const wchar_t* arguments = lines[i];
        ClearJournal();
        EXPECT_EQ(kNoUnicodeTranslation, Run(arguments));
        EXPECT_EQ(RelaunchAbandoned(), Journal());
    }
}

TEST_F(BadInputTest, AnUnpairedSurrogateDoesNotHinderADirectAction)
{
    // Only the relaunch converts the line; the other actions never read it as text.
    EXPECT_EQ(0u, Run(L"/av /update \xD800"));
    EXPECT_EQ(Updated(), Journal());
    WriteScript("timestamp=2000-01-01T00:00:00Z\n");
    EXPECT_EQ(0u, Run(L"/as \xDFFF/disable /trusted"));
    EXPECT_THAT(Journal(), Contains("RealTimeProtection#2.Disable()"));
}

TEST_F(BadInputTest, QuotesAndTabsAreNeitherRemovedNorAdded)
{
    EXPECT_EQ(0u, Run(L"\"/AV\"\t\"/UPDATE\""));
    EXPECT_EQ(Updated(), Journal());

    ClearJournal();
    WriteScript("result.Launch=0\n");
    EXPECT_EQ(0u, Run(L"\"/AV /Disable\"\t\"C:\\Program Files\\x\" \"\"\t"));
    EXPECT_EQ(Relaunched("\"/av /disable\"\t\"c:\\program files\\x\" \"\"\t /trusted"), Journal());
}

TEST_F(BadInputTest, ASwitchSplitAcrossTwoArgumentsIsNoSwitch)
{
    EXPECT_EQ(kNothingToDo, Run(L"/a v /update"));
    EXPECT_EQ(kNothingToDo, Run(L"\"/a\" \"v\" /update"));
    EXPECT_EQ(kNothingToDo, Run(L"/f\tw /enable"));
    // A trusted line whose "/disable" is split has no action left.
    EXPECT_EQ(kNothingToDo, Run(L"/av /dis able /trusted"));
    EXPECT_THAT(Journal(), IsEmpty());

    // "/en able" is no "/enable": nothing applies directly, so the line is relaunched as it stands.
    WriteScript("result.Launch=0\n");
    EXPECT_EQ(0u, Run(L"/av /en able"));
    EXPECT_EQ(Relaunched("/av /en able /trusted"), Journal());
}

TEST_F(BadInputTest, BlanksAtTheEndOfTheLineStayBeforeTheAddedSwitch)
{
    WriteScript("launcher.start=1\ntimestamp=2000-01-01T00:00:00Z\n");
    EXPECT_EQ(0u, Run(L"/AV /DISABLE   "));
    const auto journal = Journal();
    EXPECT_THAT(journal, Contains("Launcher#2.Launch(" + ToolUtf8() +
                                  "|/av /disable    /trusted|token|own pid|slot)"));
    // The trusted instance got the line with its blanks and disabled.
    EXPECT_THAT(journal, Contains("trusted instance exit 0"));
    EXPECT_THAT(Journal(L"journal.txt.trusted"), Contains("RealTimeProtection#2.Disable()"));
}

TEST_F(BadInputTest, ATrustedLineEndingInBlanksDisablesDirectly)
{
    WriteScript("timestamp=2000-01-01T00:00:00Z\n");
    EXPECT_EQ(0u, Run(L"/as /disable /trusted \t  "));
    const auto journal = Journal();
    EXPECT_THAT(journal, Contains("RealTimeProtection#2.Disable()"));
    EXPECT_EQ(0, std::count_if(journal.begin(), journal.end(),
                               [](const std::string& line)
                               { return line.find(".Launch(") != std::string::npos; }));
}
} // namespace
} // namespace Quelvo
