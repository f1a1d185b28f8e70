#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace Quelvo
{
namespace
{
TEST(CommandLineTest, AnUnknownLocaleNameFallsBackToTheClassicLocale)
{
    EXPECT_EQ(std::locale::classic(), LocaleOrClassic("xx_NOWHERE.NOT-A-CODESET"));
    EXPECT_EQ(std::locale::classic(), LocaleOrClassic("C"));
}

TEST(CommandLineTest, LowerCasesEveryCodeUnitInPlaceWithoutChangingTheLength)
{
    EXPECT_EQ(L"/av /enable /fw", LowerCasedCommandLine(L"/AV /Enable /fW"));
    EXPECT_EQ(L"", LowerCasedCommandLine(L""));
    EXPECT_EQ(L"", LowerCasedCommandLine(nullptr));
    const wchar_t surrogates[] = {L'/', L'A', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), 0};
    const auto lowered = LowerCasedCommandLine(surrogates);
    ASSERT_EQ(4u, lowered.size());
    EXPECT_EQ(L'a', lowered[1]);
    EXPECT_EQ(static_cast<wchar_t>(0xD83D), lowered[2]);
    EXPECT_EQ(static_cast<wchar_t>(0xDE00), lowered[3]);
}

TEST(CommandLineTest, SwitchesMatchAsPlainSubstrings)
{
    EXPECT_TRUE(HasSwitch(L"/avx", Switch::Av));
    EXPECT_TRUE(HasSwitch(L"x/enabled", Switch::Enable));
    EXPECT_TRUE(HasSwitch(L"/as/fw", Switch::Fw));
    EXPECT_FALSE(HasSwitch(L"/a v", Switch::Av));
    EXPECT_FALSE(HasSwitch(L"/tr", Switch::Trusted));
    EXPECT_FALSE(HasSwitch(L"", Switch::As));
    EXPECT_FALSE(HasSwitch(L"/AV", Switch::Av)) << "the line is lower-cased before the test";
}
} // namespace
} // namespace Quelvo
