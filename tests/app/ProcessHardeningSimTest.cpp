// HardenDllSearch against a kernel32.dll of the test's own: what it asks Windows for, and that a
// function that is missing or fails stops neither the other one nor the caller.
#include "app/ProcessHardening.h"

#include <SimTest.h>
#include <winsim/Control.h>
#include <winsim/Modules.h>

#include <gtest/gtest.h>

#include <vector>

namespace
{
struct Calls
{
    std::vector<DWORD> dllDirectories;
    std::vector<DWORD> imageLoadFlags; // one entry per call with the image-load policy and its size
    BOOL result = TRUE;
};
Calls calls;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags)
{
    calls.dllDirectories.push_back(flags);
    SetLastError(calls.result ? 0 : ERROR_INVALID_PARAMETER);
    return calls.result;
}

BOOL WINAPI FakeSetProcessMitigationPolicy(PROCESS_MITIGATION_POLICY policy, PVOID buffer, SIZE_T length)
{
    if (policy == ProcessImageLoadPolicy && length == sizeof(PROCESS_MITIGATION_IMAGE_LOAD_POLICY))
    {
        calls.imageLoadFlags.push_back(static_cast<PROCESS_MITIGATION_IMAGE_LOAD_POLICY*>(buffer)->Flags);
    }
    SetLastError(calls.result ? 0 : ERROR_ACCESS_DENIED);
    return calls.result;
}

template <class Function>
FARPROC Export(Function function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

class ProcessHardeningSimTest : public winsim::testing::SimTest
{
protected:
    void InstallKernel32(bool withDllDirectories, bool withMitigationPolicy, BOOL result)
    {
        calls = Calls{};
        calls.result = result;
        winsim::LibraryDefinition kernel32;
        if (withDllDirectories)
        {
            kernel32.exports["SetDefaultDllDirectories"] = Export(&FakeSetDefaultDllDirectories);
        }
        if (withMitigationPolicy)
        {
            kernel32.exports["SetProcessMitigationPolicy"] = Export(&FakeSetProcessMitigationPolicy);
        }
        winsim::AddSystemModule(L"kernel32.dll", std::move(kernel32));
    }
};

TEST_F(ProcessHardeningSimTest, AsksForTheSafeSearchAndSystem32ImagesWhateverEachAnswers)
{
    const DWORD preferSystem32 = 0x4; // the third flag of the image-load policy
    struct Case
    {
        const char* what;
        bool withDllDirectories;
        bool withMitigationPolicy;
        BOOL result;
        std::vector<DWORD> dllDirectories;
        std::vector<DWORD> imageLoadFlags;
    };
    const Case cases[] = {
        {"both succeed", true, true, TRUE, {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}, {preferSystem32}},
        {"both fail", true, true, FALSE, {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}, {preferSystem32}},
        {"no SetDefaultDllDirectories", false, true, TRUE, {}, {preferSystem32}},
        {"no SetProcessMitigationPolicy", true, false, TRUE, {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}, {}},
    };
    for (const auto& c : cases)
    {
        InstallKernel32(c.withDllDirectories, c.withMitigationPolicy, c.result);
        Quelvo::HardenDllSearch();
        EXPECT_EQ(c.dllDirectories, calls.dllDirectories) << c.what;
        EXPECT_EQ(c.imageLoadFlags, calls.imageLoadFlags) << c.what;
    }
}
} // namespace
