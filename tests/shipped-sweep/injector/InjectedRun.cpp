#include "InjectedRun.h"

#include "Injection.h"

#include <cstring>
#include <stdexcept>

namespace Quelvo::Injection
{
namespace
{
class Job
{
public:
    Job() : m_job(CreateJobObjectW(nullptr, nullptr)) {}
    ~Job()
    {
        // Processes that outlive the tool (the product's UI) run on.
        if (m_job != nullptr)
        {
            CloseHandle(m_job);
        }
    }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    HANDLE Handle() const { return m_job; }

private:
    HANDLE m_job;
};
// What the program started and left running (the product's UI) gets this long to finish.
constexpr DWORD kRestLimitMs = 5000;

void WaitForTheRest(HANDLE job, DWORD limitMs)
{
    for (DWORD waited = 0; waited < limitMs; waited += 20)
    {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof(accounting), nullptr) ||
            accounting.ActiveProcesses == 0)
        {
            return;
        }
        Sleep(20);
    }
}
} // namespace

InjectedRun::InjectedRun(std::wstring hookLibrary) : m_hookLibrary(std::move(hookLibrary))
{
    const std::wstring name = L"QuelvoInjectionLedger" + std::to_wstring(GetCurrentProcessId());
    m_mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Ledger), name.c_str());
    if (m_mapping == nullptr)
    {
        throw std::runtime_error("the ledger's file mapping cannot be made");
    }
    m_ledger = static_cast<Ledger*>(MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Ledger)));
    if (m_ledger == nullptr)
    {
        throw std::runtime_error("the ledger cannot be mapped");
    }
    SetEnvironmentVariableW(kLedgerVariable, name.c_str());
    // Inherited by the programs run: a crash ends the process with its code, and no debugger starts.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

InjectedRun::~InjectedRun()
{
    SetEnvironmentVariableW(kLedgerVariable, nullptr);
    UnmapViewOfFile(m_ledger);
    CloseHandle(m_mapping);
}

RunResult InjectedRun::Run(const std::wstring& program, const std::wstring& arguments,
                           const std::wstring& folder, const FaultPlan& plan, DWORD timeLimitMs)
{
    // Only the head of the ledger and the events written last time need clearing.
    const LONG events =
        m_ledger->eventCount < static_cast<LONG>(kMaxEvents) ? m_ledger->eventCount : kMaxEvents;
    std::memset(m_ledger->events, 0, sizeof(CallEvent) * static_cast<std::size_t>(events));
    std::memset(m_ledger, 0, offsetof(Ledger, events));
    m_ledger->plan = plan;

    const Job job;
    std::wstring commandLine = L"\"" + program.substr(program.find_last_of(L'\\') + 1) + L"\" " + arguments;
    // The program's output (the runtime's last words, Wine's crash reports) goes nowhere.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE nothing =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                    OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = nothing;
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateInjectedProcess(m_hookLibrary.c_str(), program.c_str(), commandLine.data(), nullptr, nullptr,
                              TRUE, CREATE_SUSPENDED, nullptr, folder.c_str(), &startup, &process);
    CloseHandle(nothing);
    if (!started)
    {
        throw std::runtime_error("the program cannot be started with the hook library: error " +
                                 std::to_string(GetLastError()));
    }
    AssignProcessToJobObject(job.Handle(), process.hProcess);
    ResumeThread(process.hThread);
    RunResult result;
    result.hung = WaitForSingleObject(process.hProcess, timeLimitMs) != WAIT_OBJECT_0;
    if (result.hung)
    {
        TerminateJobObject(job.Handle(), 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    else
    {
        WaitForTheRest(job.Handle(), kRestLimitMs);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
} // namespace Quelvo::Injection
