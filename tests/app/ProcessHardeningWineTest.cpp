// Where a DLL named without a path is found, before and after HardenDllSearch: a planted DLL that
// marks its loading is put in the current directory, in a folder on PATH and beside the program.
#include "app/ProcessHardening.h"

#include "base/TextConversion.h"
#include "process/ProcessHelper.h"
#include "support/BuildPath.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#ifdef QUELVO_LOADER_SEEDS_STACK_GUARD
extern "C" std::uintptr_t __stack_chk_guard;
#endif

namespace
{
#ifdef QUELVO_LOADER_SEEDS_STACK_GUARD
// The stack protector's guard as the first code of the process finds it: before the start-up
// constructor of the guard (priority 101), which would seed it where the loader has not.
std::uintptr_t guardAtFirstCode = 0;
__attribute__((constructor(100))) void ReadGuardFirst()
{
    guardAtFirstCode = *static_cast<volatile std::uintptr_t*>(&__stack_chk_guard);
}

TEST(ProcessHardeningWineTest, TheLoaderSeedsTheStackGuardBeforeAnyCodeRuns)
{
    EXPECT_NE(0x00002B992DDFA232u, guardAtFirstCode) << "the x64 default of the file";
    EXPECT_EQ(guardAtFirstCode, __stack_chk_guard) << "the start-up code keeps what the loader seeded";
}
#endif

using Quelvo::Testing::FromBuild;

std::wstring Mark()
{
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"QUELVO_PLANTED_LOADED", value, MAX_PATH);
    SetEnvironmentVariableW(L"QUELVO_PLANTED_LOADED", nullptr);
    return std::wstring(value, length);
}

struct Planted
{
    const char* where;
    std::wstring folder;
    std::wstring name; // each place has a name of its own, so that no place hides another
    std::wstring Path() const { return folder + name; }
};

// Loads the DLL by its bare name; returns the file it was loaded from (empty when it was not found,
// after checking that the failure is ERROR_MOD_NOT_FOUND).
std::wstring LoadByName(const Planted& planted)
{
    Mark();
    SetLastError(0xdeadbeef);
    const HMODULE module = LoadLibraryW(planted.name.c_str());
    if (module == nullptr)
    {
        EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError()) << planted.where;
        EXPECT_EQ(L"", Mark()) << planted.where;
        return L"";
    }
    FreeLibrary(module);
    return Mark();
}

TEST(ProcessHardeningWineTest, ABareNameIsNoLongerFoundInTheCurrentDirectoryOrOnPath)
{
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring root = std::wstring(temp) + L"dll search\\";
    const std::wstring program = Quelvo::GetModulePath(nullptr);
    const Planted places[] = {
        {"current directory", root + L"working\\", L"planted_working.dll"},
        {"folder on PATH", root + L"on path\\", L"planted_on_path.dll"},
        {"program's folder", program.substr(0, program.find_last_of(L'\\') + 1), L"planted_beside.dll"},
    };
    CreateDirectoryW(root.c_str(), nullptr);
    for (const auto& planted : places)
    {
        CreateDirectoryW(planted.folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(FromBuild(QUELVO_PLANTED_LIBRARY).c_str(), planted.Path().c_str(), FALSE));
    }
    ASSERT_TRUE(SetCurrentDirectoryW(places[0].folder.c_str()));
    wchar_t path[32767] = {};
    GetEnvironmentVariableW(L"PATH", path, 32767);
    ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", (places[1].folder + L";" + path).c_str()));

    // Without the hardening, Windows' usual search finds it in each place.
    for (const auto& planted : places)
    {
        EXPECT_EQ(planted.Path(), LoadByName(planted)) << planted.where;
    }

    Quelvo::HardenDllSearch();
    EXPECT_EQ(L"", LoadByName(places[0]));
    EXPECT_EQ(L"", LoadByName(places[1]));
    EXPECT_EQ(places[2].Path(), LoadByName(places[2])) << "the program's own folder stays in the search";

    SetCurrentDirectoryW(temp);
    for (const auto& planted : places)
    {
        DeleteFileW(planted.Path().c_str());
    }
}
} // namespace
