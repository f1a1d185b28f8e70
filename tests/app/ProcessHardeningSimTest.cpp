// HardenDllSearch against a kernel32.dll of the test's own: what it asks Windows for, and that a
// function that is missing or fails neither stops the caller nor changes its last error.
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
    std::vector<PROCESS_MITIGATION_POLICY> mitigationPolicies;
    BOOL result = TRUE;
};
Calls calls;

BOOL WINAPI FakeSetDefaultDllDirectories(DWORD flags)
{
    calls.dllDirectories.push_back(flags);
    SetLastError(calls.result ? 0 : ERROR_INVALID_PARAMETER);
    return calls.result;
}

BOOL WINAPI FakeSetProcessMitigationPolicy(PROCESS_MITIGATION_POLICY policy, PVOID, SIZE_T)
{
    calls.mitigationPolicies.push_back(policy);
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

// No mitigation policy is asked for, whatever the system offers: an image-load policy would take
// System32's copy of a DLL that the client library imports ahead of the one beside it.
TEST_F(ProcessHardeningSimTest, AsksForTheSafeSearchOnlyWhateverItAnswers)
{
    struct Case
    {
        const char* what;
        bool withDllDirectories;
        bool withMitigationPolicy;
        BOOL result;
        std::vector<DWORD> dllDirectories;
    };
    const Case cases[] = {
        {"both succeed", true, true, TRUE, {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}},
        {"both fail", true, true, FALSE, {LOAD_LIBRARY_SEARCH_DEFAULT_DIRS}},
        {"no SetDefaultDllDirectories", false, true, TRUE, {}},
        {"neither (Windows 7)", false, false, TRUE, {}},
    };
    for (const auto& c : cases)
    {
        InstallKernel32(c.withDllDirectories, c.withMitigationPolicy, c.result);
        SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
        Quelvo::HardenDllSearch();
        EXPECT_EQ(c.dllDirectories, calls.dllDirectories) << c.what;
        EXPECT_TRUE(calls.mitigationPolicies.empty()) << c.what;
        EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT), GetLastError()) << c.what;
    }
}
} // namespace
