// The fault sweep: runs one command line of the tool against a scripted product and machine, once
// cleanly and then once per simulated call (and per product operation) with that one call failing, and
// judges every run by the same rules: it ends with a code and lets no exception out, it never reports
// success for an action that was not carried out, it ends with the code the failure is defined to give,
// and it leaves no handle open, nothing closed twice, no SDK object alive and the client library
// unloaded, its objects released in the reverse order of their creation.
// Include only from *SimTest.cpp files.
#pragma once

#include "app/Dispatch.h"
#include "support/FakeProductSimFixture.h"
#include "sweep/SweepTally.h"

#include <winsim/Control.h>
#include <winsim/Modules.h>
#include <winsim/Processes.h>
#include <winsim/Services.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Quelvo::testing::sweep
{
inline const std::wstring kPrimaryService = L"EndpointProtectionService";
inline const std::wstring kUiPath = kProductFolder + L"ui.exe";
inline constexpr std::int64_t kNow = 1700000000; // 2023-11-14T22:13:20Z

// One injected failure: the `occurrence`-th call of `function`, found at `position` of the clean run's
// call log, fails with `error`.
struct PlatformFault
{
    std::string function;
    unsigned occurrence = 0;
    DWORD error = 0;
    std::size_t position = 0;
};

using CallLog = std::vector<std::string>;

// One command line against one scripted machine and product, and what its runs must end with.
struct Scenario
{
    std::string name;
    std::wstring commandLine;
    // Services and product script beyond the common machine.
    std::function<void()> arrange;
    // Whether the run did what the line asks for, judged from the product's journal and the machine.
    std::function<bool()> carriedOut;
    // The code of the clean run; nothing where only "nonzero" is defined.
    std::optional<std::uint32_t> cleanCode = 0;
    // The code a platform failure leads to where it is defined; nothing where any code will do (the
    // rule that success needs the action carried out still holds).
    std::function<std::optional<std::uint32_t>(const PlatformFault&, const CallLog& cleanLog)> platformCode;
    // Whether a failed close leaves the clean run's code (false where the code is a stale last error).
    bool closesKeepTheCode = true;
    // Product operations whose failure does not pass through, with the code they give instead.
    std::map<std::string, std::uint32_t> libraryCodes;
    // The folder of the executable and of the client library.
    std::wstring folder = kProductFolder;
};

// One failure of the product library, scripted before the run.
struct LibraryFault
{
    std::string description;
    std::function<void(FakeProductScript&)> inject;
    std::optional<std::uint32_t> code;
    // The operation that must have been reached for the failure to take effect; empty for none.
    std::string operation;
};

// Calls that cannot fail, or whose failure the simulation does not model: no fault is injected there.
inline bool HasNoFailureMode(const std::string& function)
{
    static const std::set<std::string> names = {
        "Sleep",         "GetCurrentProcess",   "GetCurrentProcessId", "_time64", "_mktime64", "_mkgmtime64",
        "GetSystemInfo", "GetNativeSystemInfo", "VerSetConditionMask"};
    return names.count(function) != 0;
}

// Calls that give a handle back; a failure leaves the handle in the table, which is not a leak of ours.
inline bool IsReleaseCall(const std::string& function)
{
    return function == "CloseHandle" || function == "CloseServiceHandle" || function == "FreeLibrary" ||
           function == "RegCloseKey";
}

// The errors Windows documents for each call, the too-small-buffer reports of the size protocols included.
inline const std::vector<DWORD>* DocumentedErrors(const std::string& function)
{
    static const std::map<std::string, std::vector<DWORD>> table = {
        {"OpenSCManagerW", {ERROR_ACCESS_DENIED, 1065 /* ERROR_DATABASE_DOES_NOT_EXIST */}},
        {"OpenServiceW",
         {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_INVALID_NAME, ERROR_SERVICE_DOES_NOT_EXIST}},
        {"QueryServiceStatusEx",
         {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER,
          124 /* ERROR_INVALID_LEVEL */, 1115 /* ERROR_SHUTDOWN_IN_PROGRESS */}},
        {"QueryServiceStatus", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE}},
        {"QueryServiceConfigW", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_INSUFFICIENT_BUFFER}},
        {"StartServiceW",
         {ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
          1053 /* ERROR_SERVICE_REQUEST_TIMEOUT */, ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_DISABLED,
          1068 /* ERROR_SERVICE_DEPENDENCY_FAIL */, 1069 /* ERROR_SERVICE_LOGON_FAILED */}},
        {"OpenProcess", {ERROR_ACCESS_DENIED, ERROR_INVALID_PARAMETER}},
        {"WaitForSingleObject", {ERROR_INVALID_HANDLE}},
        {"GetModuleFileNameW", {ERROR_NOT_ENOUGH_MEMORY, ERROR_INSUFFICIENT_BUFFER, ERROR_MOD_NOT_FOUND}},
        {"QueryFullProcessImageNameW",
         {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_INSUFFICIENT_BUFFER}},
        {"LoadLibraryExW",
         {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, ERROR_MOD_NOT_FOUND,
          193 /* ERROR_BAD_EXE_FORMAT */}},
        {"GetProcAddress", {ERROR_PROC_NOT_FOUND}},
        {"OpenProcessToken", {ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE}},
        {"DuplicateTokenEx",
         {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY, 1346 /* ERROR_BAD_IMPERSONATION_LEVEL */}},
        {"CreateProcessW",
         {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY,
          193 /* ERROR_BAD_EXE_FORMAT */, 740 /* ERROR_ELEVATION_REQUIRED */}},
        {"WideCharToMultiByte",
         {ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_FLAGS,
          ERROR_NO_UNICODE_TRANSLATION}},
        {"MultiByteToWideChar",
         {ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_FLAGS,
          ERROR_NO_UNICODE_TRANSLATION}},
        {"RegGetValueW", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA}},
        {"CloseHandle", {ERROR_INVALID_HANDLE}},
        {"CloseServiceHandle", {ERROR_INVALID_HANDLE}},
        {"FreeLibrary", {ERROR_INVALID_HANDLE}},
        {"RegCloseKey", {ERROR_INVALID_HANDLE}},
    };
    const auto it = table.find(function);
    return it != table.end() ? &it->second : nullptr;
}

// The position of the `nth` call of `function` in a log; the log's end when there are fewer.
inline std::size_t PositionOf(const CallLog& log, const std::string& function, unsigned nth = 1)
{
    for (std::size_t position = 0; position < log.size(); ++position)
    {
        if (log[position] == function && --nth == 0)
        {
            return position;
        }
    }
    return log.size();
}

// Failures while the client library is found and loaded: every one ends as "no client".
inline std::optional<std::uint32_t> ClientLoadingCode(const PlatformFault& fault, const CallLog& cleanLog)
{
    if (fault.function == "LoadLibraryExW" || fault.function == "GetProcAddress" ||
        (fault.function == "GetModuleFileNameW" && fault.position < PositionOf(cleanLog, "LoadLibraryExW")))
    {
        return ERROR_GEN_FAILURE;
    }
    return std::nullopt;
}

// The operation a journal entry of the product names, as the product script names it ("Connect",
// "FirewallEnable", "CreateUpdater"); empty for entries that are no operation.
inline std::string OperationOf(const std::string& entry)
{
    if (entry.rfind("Create", 0) == 0)
    {
        return entry.substr(0, entry.find('('));
    }
    const auto hash = entry.find('#');
    const auto dot = entry.find('.');
    const auto paren = entry.find('(');
    if (hash == std::string::npos || dot == std::string::npos || paren == std::string::npos || hash > dot ||
        dot > paren || entry.rfind("release ", 0) == 0)
    {
        return {};
    }
    const std::string kind = entry.substr(0, hash);
    const std::string method = entry.substr(dot + 1, paren - dot - 1);
    return kind == "Firewall" && method == "Enable" ? "FirewallEnable" : method;
}

// Empty when every object the product made was released once, the last made first; otherwise what
// went wrong.
inline std::string ReleaseOrderProblem(const std::vector<std::string>& journal)
{
    std::vector<std::string> live;
    for (const auto& entry : journal)
    {
        const auto arrow = entry.find(") -> ");
        if (entry.rfind("Create", 0) == 0 && arrow != std::string::npos)
        {
            const std::string name = entry.substr(arrow + 5);
            if (name != "none")
            {
                live.push_back(name);
            }
        }
        else if (entry.rfind("release ", 0) == 0)
        {
            const std::string name = entry.substr(8);
            if (live.empty() || live.back() != name)
            {
                return "released out of order: " + name;
            }
            live.pop_back();
        }
    }
    return live.empty() ? std::string() : "never released: " + live.back();
}

// What the product's journal and the machine tell about a run.
inline bool ProductReached(const std::string& operation)
{
    const auto& journal = FakeProduct::Instance().journal;
    return std::any_of(journal.begin(), journal.end(),
                       [&](const std::string& entry) { return OperationOf(entry) == operation; });
}

// The operation was called and reported success.
inline bool ProductDid(const std::string& operation)
{
    return ProductReached(operation) && FakeProduct::Instance().Result(operation) == 0;
}

inline bool ServiceRecovered()
{
    return winsim::ServiceStartCount(kPrimaryService) != 0 &&
           winsim::ServiceState(kPrimaryService) == SERVICE_RUNNING;
}

// The UI was started, with `arguments` after its quoted name.
inline bool UiStarted(const std::wstring& arguments)
{
    const auto& creations = winsim::ProcessCreations();
    return std::any_of(creations.begin(), creations.end(),
                       [&](const winsim::ProcessCreation& creation)
                       {
                           return creation.processId != 0 && creation.commandLine &&
                                  *creation.commandLine == L"\"ui.exe\" " + arguments;
                       });
}

inline void InstallProductService(const std::wstring& name, DWORD state,
                                  std::vector<winsim::ServiceStep> startScript = {{SERVICE_START_PENDING, 1},
                                                                                  {SERVICE_RUNNING, 0}})
{
    winsim::ServiceDefinition service;
    service.name = name;
    service.commandLine = L"\"C:\\Program Files\\Quelvo Product\\service.exe\"";
    service.imagePath = L"C:\\Program Files\\Quelvo Product\\service.exe";
    service.state = state;
    service.startScript = std::move(startScript);
    // The product lets its users start its service, which the recovery needs.
    service.grantedRights |= SERVICE_START;
    winsim::InstallService(service);
}

class FaultSweepSimTest : public FakeProductSimTest
{
protected:
    void TearDown() override
    {
        // Leave the machine as the base fixture expects it, whatever the last run left behind.
        Arrange(Scenario{});
        FakeProductSimTest::TearDown();
    }

    // Runs the scenario cleanly, then once per simulated call of that clean run with the call failing in
    // each of its documented ways.
    void SweepPlatform(const Scenario& scenario)
    {
        const auto cleanLog = CleanRun(scenario);
        if (::testing::Test::HasFatalFailure())
        {
            return;
        }
        for (const auto& fault : PlatformFaultsOf(scenario, cleanLog))
        {
            SCOPED_TRACE(Describe(scenario, fault));
            Arrange(scenario);
            winsim::FailNth(fault.function, fault.occurrence, fault.error);
            const auto code = RunChecked(scenario);
            SweepTally::Instance().AddPlatformFaults(winsim::FaultsDelivered());
            EXPECT_EQ(1u, winsim::FaultsDelivered()) << "the fault was not reached";
            if (code)
            {
                if (const auto expected = PlatformCode(scenario, fault, cleanLog))
                {
                    EXPECT_EQ(*expected, *code);
                }
            }
            CheckAftermath(scenario, IsReleaseCall(fault.function) ? fault.function : std::string());
        }
    }

    // Each simulated call of a clean run that can fail, in each of its documented ways.
    static std::vector<PlatformFault> PlatformFaultsOf(const Scenario& scenario, const CallLog& cleanLog)
    {
        std::vector<PlatformFault> faults;
        std::map<std::string, unsigned> occurrences;
        for (std::size_t position = 0; position < cleanLog.size(); ++position)
        {
            const std::string& function = cleanLog[position];
            const unsigned occurrence = ++occurrences[function];
            if (HasNoFailureMode(function))
            {
                continue;
            }
            const auto* errors = DocumentedErrors(function);
            if (errors == nullptr)
            {
                ADD_FAILURE() << scenario.name << ": no failure mode known for " << function;
                continue;
            }
            for (const DWORD error : *errors)
            {
                faults.push_back(PlatformFault{function, occurrence, error, position});
            }
        }
        return faults;
    }

    static std::string Describe(const Scenario& scenario, const PlatformFault& fault)
    {
        return scenario.name + ": " + fault.function + " #" + std::to_string(fault.occurrence) +
               " fails with " + std::to_string(fault.error);
    }

    // Runs the scenario cleanly, then once per product operation of that clean run with the operation
    // failing, once with no factory, and once per fault in `extra`.
    void SweepLibrary(const Scenario& scenario, std::vector<LibraryFault> extra = {})
    {
        CleanRun(scenario);
        if (::testing::Test::HasFatalFailure())
        {
            return;
        }
        auto faults = LibraryFaultsOf(scenario, FakeProduct::Instance().journal);
        faults.insert(faults.end(), extra.begin(), extra.end());
        for (const auto& fault : faults)
        {
            SCOPED_TRACE(scenario.name + ": " + fault.description);
            Arrange(scenario);
            fault.inject(FakeProduct::Instance().script);
            const auto code = RunChecked(scenario);
            SweepTally::Instance().AddLibraryFaults(1);
            if (!fault.operation.empty())
            {
                EXPECT_TRUE(ProductReached(fault.operation)) << "the fault was not reached";
            }
            if (code && fault.code)
            {
                EXPECT_EQ(*fault.code, *code);
            }
            CheckAftermath(scenario, {});
        }
    }

    // Puts the machine and the product into the scenario's state before a run.
    static void Arrange(const Scenario& scenario)
    {
        winsim::Reset();
        FakeProduct::Instance().Reset();
        // A run that broke the rules must not spoil the next one.
        EndpointProtectionSdk::UnloadClientLibrary();
        winsim::SetExecutablePath(scenario.folder + L"remediation.exe");
        winsim::LibraryDefinition library;
        library.exports["GetEndpointProtectionClientFactory"] =
            reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeProduct::GetFactory));
        library.onAttach = [] { FakeProduct::Instance().Attach(); };
        library.onDetach = [] { FakeProduct::Instance().Detach(); };
        winsim::AddLibrary(LibraryPath(scenario), library);
        winsim::AddApplication(kUiPath);
        auto& script = FakeProduct::Instance().script;
        script.uiPath = "C:\\Program Files\\Quelvo Product\\ui.exe";
        script.timestamp = "2000-01-01T00:00:00Z";
        winsim::SetWallClock(kNow);
        if (scenario.arrange)
        {
            scenario.arrange();
        }
    }

    static std::wstring LibraryPath(const Scenario& scenario)
    {
        return scenario.folder + L"endpointprotectionclient.dll";
    }

private:
    // The clean run and its repetition, which must take the same path; returns its call log.
    CallLog CleanRun(const Scenario& scenario)
    {
        SCOPED_TRACE(scenario.name + ": clean run");
        Arrange(scenario);
        const auto code = RunChecked(scenario);
        const CallLog cleanLog = winsim::CallLog();
        [&] { ASSERT_TRUE(code.has_value()); }();
        if (!code)
        {
            return cleanLog;
        }
        if (scenario.cleanCode)
        {
            EXPECT_EQ(*scenario.cleanCode, *code);
        }
        EXPECT_EQ(*code == 0, scenario.carriedOut()) << "the clean run must carry the action out exactly "
                                                        "when it reports success";
        CheckAftermath(scenario, {});
        const auto journal = FakeProduct::Instance().journal;

        Arrange(scenario);
        RunChecked(scenario);
        [&] { ASSERT_EQ(cleanLog, winsim::CallLog()) << "a repeated run took another path"; }();
        EXPECT_EQ(journal, FakeProduct::Instance().journal);
        return cleanLog;
    }

    // One run through the entry; nothing when an exception escaped it. Success must mean that the
    // action was carried out.
    std::optional<std::uint32_t> RunChecked(const Scenario& scenario)
    {
        std::optional<std::uint32_t> code;
        try
        {
            code = RunTool(scenario.commandLine.c_str());
        }
        catch (const std::exception& e)
        {
            ADD_FAILURE() << "exception escaped the entry: " << e.what();
        }
        catch (...)
        {
            ADD_FAILURE() << "unknown exception escaped the entry";
        }
        SweepTally::Instance().AddRun();
        SweepTally::Instance().AddPath(winsim::CallLog(), FakeProduct::Instance().journal);
        if (code && *code == 0)
        {
            EXPECT_TRUE(scenario.carriedOut()) << "success reported for an action that was not carried out";
        }
        return code;
    }

    static std::optional<std::uint32_t> PlatformCode(const Scenario& scenario, const PlatformFault& fault,
                                                     const CallLog& cleanLog)
    {
        if (IsReleaseCall(fault.function))
        {
            return scenario.closesKeepTheCode ? scenario.cleanCode : std::nullopt;
        }
        if (const auto code = ClientLoadingCode(fault, cleanLog))
        {
            return code;
        }
        return scenario.platformCode ? scenario.platformCode(fault, cleanLog) : std::nullopt;
    }

    // Every product operation and creation of the clean run, failing; and a library without a factory.
    static std::vector<LibraryFault> LibraryFaultsOf(const Scenario& scenario,
                                                     const std::vector<std::string>& journal)
    {
        const auto codeFor = [&](const std::string& operation, std::uint32_t passedThrough)
        {
            const auto it = scenario.libraryCodes.find(operation);
            return it != scenario.libraryCodes.end() ? it->second : passedThrough;
        };
        std::vector<LibraryFault> faults;
        std::set<std::string> seen;
        for (const auto& entry : journal)
        {
            const std::string operation = OperationOf(entry);
            if (operation.empty() || !seen.insert(operation).second)
            {
                continue;
            }
            if (operation.rfind("Create", 0) == 0)
            {
                const std::uint32_t unavailable =
                    codeFor(operation, operation == "CreateEppClient" ? ERROR_GEN_FAILURE : 1225);
                faults.push_back({operation + " fails with 14",
                                  [operation](FakeProductScript& script)
                                  {
                                      script.results[operation] = 14; /* ERROR_OUTOFMEMORY */
                                  },
                                  unavailable, operation});
                faults.push_back({operation + " succeeds without an object",
                                  [operation](FakeProductScript& script)
                                  { script.nullObjects.insert(operation); },
                                  unavailable, operation});
                continue;
            }
            for (const std::uint32_t result : {87u, 1722u, 0x80070005u})
            {
                faults.push_back({operation + " returns " + std::to_string(result),
                                  [operation, result](FakeProductScript& script)
                                  { script.results[operation] = result; },
                                  codeFor(operation, result), operation});
            }
        }
        faults.push_back({"the library hands out no factory",
                          [](FakeProductScript& script) { script.nullFactory = true; }, ERROR_GEN_FAILURE,
                          std::string()});
        return faults;
    }

protected:
    // Nothing of the run is left: handles, SDK objects, strings, the loaded library.
    // `failedRelease` names the release call that was made to fail, if any.
    static void CheckAftermath(const Scenario& scenario, const std::string& failedRelease)
    {
        const auto& product = FakeProduct::Instance();
        const bool closeFailed = !failedRelease.empty();
        const bool libraryKept = failedRelease == "FreeLibrary";
        // A close that failed leaves its one handle in the table; that is all it may leave.
        EXPECT_EQ(closeFailed ? 1u : 0u, winsim::OpenHandleCount())
            << "handles left open: " << ::testing::PrintToString(winsim::OpenHandleDescriptions());
        EXPECT_EQ(0u, winsim::DoubleCloseCount())
            << "closed twice: " << ::testing::PrintToString(winsim::DoubleCloseDescriptions());
        EXPECT_EQ(0u, winsim::InvalidServiceHandleUseCount())
            << ::testing::PrintToString(winsim::InvalidServiceHandleUses());
        EXPECT_EQ(0, EndpointProtectionSdk::Sdk::LiveObjectCount());
        EXPECT_FALSE(EndpointProtectionSdk::IsClientLibraryLoaded());
        EXPECT_EQ(0, product.liveObjects) << "SDK objects not released";
        EXPECT_EQ(0, product.liveStrings) << "strings not released";
        EXPECT_EQ(0, product.doubleReleases) << "strings released twice";
        EXPECT_EQ(0, product.callsWhileDetached) << "calls into the library while it was not loaded";
        EXPECT_EQ("", ReleaseOrderProblem(product.journal)) << ::testing::PrintToString(product.journal);
        if (!libraryKept)
        {
            EXPECT_FALSE(winsim::IsLibraryLoaded(LibraryPath(scenario)));
        }
        if (!libraryKept && !product.journal.empty())
        {
            EXPECT_EQ("detach", product.journal.back())
                << "the library was not unloaded after its last object";
        }
    }
};
} // namespace Quelvo::testing::sweep
