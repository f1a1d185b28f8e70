// Simulated processes, threads and the own process's token.
// A process is an entry of the process table; a process or thread handle refers to it. An ended process
// stays in the table while a handle refers to it, as a process object does, and is gone after that.
#include "Internal.h"

#include <winsim/Processes.h>

#include <algorithm>
#include <map>
#include <vector>

namespace
{
using namespace winsim::detail;

const DWORD ownProcessId = 4200;
const wchar_t* const defaultExecutablePath = L"C:\\Program Files\\Tool\\tool.exe";
const HANDLE currentProcessPseudoHandle = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

struct SimProcess
{
    DWORD id = 0;
    std::wstring imagePath;
    std::wstring commandLine;
    bool running = true;
    DWORD exitCode = STILL_ACTIVE;
    std::optional<std::uint64_t> exitAt;
    DWORD scheduledExitCode = 0;
    std::uint64_t terminationDelay = 0;
    bool accessDenied = false;
    ProcessAccount account = ProcessAccount::User;
    unsigned openHandles = 0;
};

// The object behind a process or thread handle: the process and the access the handle was opened with.
struct ProcessHandleObject
{
    ProcessHandleObject(std::shared_ptr<SimProcess> target, DWORD grantedAccess)
        : process(std::move(target)), access(grantedAccess)
    {
        ++process->openHandles;
    }
    ~ProcessHandleObject() { --process->openHandles; }
    ProcessHandleObject(const ProcessHandleObject&) = delete;
    ProcessHandleObject& operator=(const ProcessHandleObject&) = delete;

    std::shared_ptr<SimProcess> process;
    DWORD access;
};

struct Privilege
{
    DWORD luid;
    DWORD attributes;
};

struct TokenState
{
    std::map<std::wstring, Privilege> privileges; // by lower-case name
};

struct TokenObject
{
    std::shared_ptr<TokenState> state;
    DWORD access;
};

struct ProcessTable
{
    std::map<DWORD, std::shared_ptr<SimProcess>> processes;
    std::vector<std::pair<std::wstring, winsim::ApplicationDefinition>> applications;
    std::vector<winsim::ProcessCreation> creations;
    std::vector<winsim::TokenDuplication> duplications;
    std::shared_ptr<TokenState> ownToken = std::make_shared<TokenState>();
    DWORD nextId = 5000;
    std::size_t refusedInfiniteWaits = 0;
};

void Populate(ProcessTable& table);

// The machine starts in the state that Reset gives it, also for tests that never call Reset.
ProcessTable& TheTable()
{
    static ProcessTable table = []
    {
        ProcessTable initial;
        Populate(initial);
        return initial;
    }();
    return table;
}

// The privileges a local system knows, with the LUIDs Windows gives them.
const std::vector<std::pair<std::wstring, DWORD>>& KnownPrivileges()
{
    static const std::vector<std::pair<std::wstring, DWORD>> known = {
        {L"SeCreateTokenPrivilege", 2},
        {L"SeAssignPrimaryTokenPrivilege", 3},
        {L"SeLockMemoryPrivilege", 4},
        {L"SeIncreaseQuotaPrivilege", 5},
        {L"SeMachineAccountPrivilege", 6},
        {L"SeTcbPrivilege", 7},
        {L"SeSecurityPrivilege", 8},
        {L"SeTakeOwnershipPrivilege", 9},
        {L"SeLoadDriverPrivilege", 10},
        {L"SeSystemProfilePrivilege", 11},
        {L"SeSystemtimePrivilege", 12},
        {L"SeProfileSingleProcessPrivilege", 13},
        {L"SeIncreaseBasePriorityPrivilege", 14},
        {L"SeCreatePagefilePrivilege", 15},
        {L"SeCreatePermanentPrivilege", 16},
        {L"SeBackupPrivilege", 17},
        {L"SeRestorePrivilege", 18},
        {L"SeShutdownPrivilege", 19},
        {L"SeDebugPrivilege", 20},
        {L"SeAuditPrivilege", 21},
        {L"SeSystemEnvironmentPrivilege", 22},
        {L"SeChangeNotifyPrivilege", 23},
        {L"SeRemoteShutdownPrivilege", 24},
        {L"SeUndockPrivilege", 25},
        {L"SeSyncAgentPrivilege", 26},
        {L"SeEnableDelegationPrivilege", 27},
        {L"SeManageVolumePrivilege", 28},
        {L"SeImpersonatePrivilege", 29},
        {L"SeCreateGlobalPrivilege", 30},
        {L"SeTrustedCredManAccessPrivilege", 31},
        {L"SeRelabelPrivilege", 32},
        {L"SeIncreaseWorkingSetPrivilege", 33},
        {L"SeTimeZonePrivilege", 34},
        {L"SeCreateSymbolicLinkPrivilege", 35},
        {L"SeDelegateSessionUserImpersonatePrivilege", 36},
    };
    return known;
}

std::optional<DWORD> PrivilegeLuid(const std::wstring& name)
{
    for (const auto& [known, luid] : KnownPrivileges())
    {
        if (NamesEqual(known, name))
        {
            return luid;
        }
    }
    return std::nullopt;
}

// Ends a process whose scheduled exit time has come on the virtual clock.
void Settle(SimProcess& process)
{
    if (process.running && process.exitAt && ClockMilliseconds() >= *process.exitAt)
    {
        process.running = false;
        process.exitCode = process.scheduledExitCode;
        process.exitAt.reset();
    }
}

std::shared_ptr<SimProcess> FindProcess(DWORD processId)
{
    auto& processes = TheTable().processes;
    const auto it = processes.find(processId);
    if (it == processes.end())
    {
        return nullptr;
    }
    Settle(*it->second);
    return it->second;
}

// Forgets ended processes that no handle refers to any more.
void DropUnreferencedEnded()
{
    std::erase_if(TheTable().processes,
                  [](const auto& entry) { return !entry.second->running && entry.second->openHandles == 0; });
}

// The process of a process handle (or of a thread handle, for waits), with the handle's access; the
// pseudo handle of the own process has every access.
std::shared_ptr<ProcessHandleObject> ResolveProcess(HANDLE handle, bool threadsToo)
{
    if (handle == currentProcessPseudoHandle)
    {
        return std::make_shared<ProcessHandleObject>(FindProcess(ownProcessId), PROCESS_ALL_ACCESS);
    }
    auto object = Find<ProcessHandleObject>(handle, HandleKind::Process);
    if (object == nullptr && threadsToo)
    {
        object = Find<ProcessHandleObject>(handle, HandleKind::Thread);
    }
    if (object != nullptr)
    {
        Settle(*object->process);
    }
    return object;
}

bool CanQuery(DWORD access)
{
    return (access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) != 0;
}

// The process of a handle that must allow queries; null with `error` set (6 for an unknown handle, 5
// for one opened without a query right) otherwise.
std::shared_ptr<ProcessHandleObject> ResolveQueryableProcess(HANDLE handle, DWORD& error)
{
    auto object = ResolveProcess(handle, false);
    if (object == nullptr)
    {
        error = ERROR_INVALID_HANDLE;
    }
    else if (!CanQuery(object->access))
    {
        error = ERROR_ACCESS_DENIED;
        object = nullptr;
    }
    return object;
}

DWORD AddProcess(const std::wstring& imagePath, const std::wstring& commandLine, ProcessAccount account)
{
    auto& table = TheTable();
    auto process = std::make_shared<SimProcess>();
    process->id = table.nextId;
    table.nextId += 4;
    process->imagePath = imagePath;
    process->commandLine = commandLine;
    process->account = account;
    table.processes.emplace(process->id, process);
    return process->id;
}

std::optional<winsim::ApplicationDefinition> FindApplication(const std::wstring& path)
{
    for (const auto& [known, definition] : TheTable().applications)
    {
        if (NamesEqual(known, path))
        {
            return definition;
        }
    }
    return std::nullopt;
}

// The program a command line names when no application name is given: its first, possibly quoted, token.
std::wstring FirstToken(const std::wstring& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == L'"')
    {
        const auto end = commandLine.find(L'"', 1);
        return commandLine.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(L" \t"));
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
} // namespace

namespace winsim::detail
{
void ResetProcesses()
{
    TheTable() = ProcessTable{};
    Populate(TheTable());
}
} // namespace winsim::detail

namespace
{
void Populate(ProcessTable& table)
{
    auto own = std::make_shared<SimProcess>();
    own->id = ownProcessId;
    own->imagePath = defaultExecutablePath;
    own->commandLine = L"\"tool.exe\"";
    table.processes.emplace(own->id, own);
    auto& privileges = table.ownToken->privileges;
    for (const auto* name : {L"SeShutdownPrivilege", L"SeUndockPrivilege", L"SeTimeZonePrivilege",
                             L"SeIncreaseWorkingSetPrivilege"})
    {
        privileges[LowerAscii(name)] = Privilege{*PrivilegeLuid(name), 0};
    }
    privileges[LowerAscii(L"SeChangeNotifyPrivilege")] =
        Privilege{23, SE_PRIVILEGE_ENABLED | SE_PRIVILEGE_ENABLED_BY_DEFAULT};
}
} // namespace

namespace winsim::detail
{

DWORD StartSimProcess(const std::wstring& imagePath, const std::wstring& commandLine, ProcessAccount account)
{
    std::lock_guard guard(MachineLock());
    return AddProcess(imagePath, commandLine, account);
}

void ScheduleProcessExit(DWORD processId, std::uint64_t atMilliseconds, DWORD exitCode)
{
    std::lock_guard guard(MachineLock());
    const auto process = FindProcess(processId);
    if (process == nullptr || !process->running)
    {
        return;
    }
    process->exitAt = atMilliseconds;
    process->scheduledExitCode = exitCode;
    Settle(*process);
}

bool IsSimProcessRunning(DWORD processId)
{
    std::lock_guard guard(MachineLock());
    const auto process = FindProcess(processId);
    return process != nullptr && process->running;
}
} // namespace winsim::detail

namespace winsim
{
void AddApplication(const std::wstring& path, ApplicationDefinition definition)
{
    std::lock_guard guard(MachineLock());
    RemoveApplication(path);
    TheTable().applications.emplace_back(path, definition);
}

void RemoveApplication(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    std::erase_if(TheTable().applications, [&](const auto& entry) { return NamesEqual(entry.first, path); });
}

const std::vector<ProcessCreation>& ProcessCreations()
{
    return TheTable().creations;
}

DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine)
{
    return StartSimProcess(imagePath, commandLine);
}

void ScheduleProcessExit(DWORD processId, std::uint64_t atMilliseconds, DWORD exitCode)
{
    detail::ScheduleProcessExit(processId, atMilliseconds, exitCode);
}

void EndProcess(DWORD processId, DWORD exitCode)
{
    detail::ScheduleProcessExit(processId, NowMilliseconds(), exitCode);
}

bool IsProcessRunning(DWORD processId)
{
    return IsSimProcessRunning(processId);
}

std::optional<DWORD> ProcessExitCode(DWORD processId)
{
    std::lock_guard guard(MachineLock());
    const auto process = FindProcess(processId);
    return process != nullptr ? std::optional<DWORD>(process->exitCode) : std::nullopt;
}

void DenyProcessAccess(DWORD processId)
{
    std::lock_guard guard(MachineLock());
    if (const auto process = FindProcess(processId))
    {
        process->accessDenied = true;
    }
}

std::wstring ProcessCommandLine(DWORD processId)
{
    std::lock_guard guard(MachineLock());
    const auto process = FindProcess(processId);
    return process != nullptr ? process->commandLine : std::wstring();
}

DWORD CurrentProcessId()
{
    return ownProcessId;
}

void SetExecutablePath(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    FindProcess(ownProcessId)->imagePath = path;
}

std::wstring ExecutablePath()
{
    std::lock_guard guard(MachineLock());
    return FindProcess(ownProcessId)->imagePath;
}

std::size_t RefusedInfiniteWaits()
{
    std::lock_guard guard(MachineLock());
    return TheTable().refusedInfiniteWaits;
}

void GrantPrivilege(const std::wstring& name, DWORD attributes)
{
    std::lock_guard guard(MachineLock());
    const auto luid = PrivilegeLuid(name);
    if (luid)
    {
        TheTable().ownToken->privileges[LowerAscii(name)] = Privilege{*luid, attributes};
    }
}

void RevokePrivilege(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    TheTable().ownToken->privileges.erase(LowerAscii(name));
}

std::optional<DWORD> PrivilegeAttributes(const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    const auto& privileges = TheTable().ownToken->privileges;
    const auto it = privileges.find(LowerAscii(name));
    return it != privileges.end() ? std::optional<DWORD>(it->second.attributes) : std::nullopt;
}

const std::vector<TokenDuplication>& TokenDuplications()
{
    return TheTable().duplications;
}
} // namespace winsim

HANDLE WINAPI GetCurrentProcess()
{
    Enter("GetCurrentProcess");
    return currentProcessPseudoHandle;
}

DWORD WINAPI GetCurrentProcessId()
{
    Enter("GetCurrentProcessId");
    return ownProcessId;
}

BOOL WINAPI CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                           BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                           LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                           LPPROCESS_INFORMATION processInformation)
{
    std::lock_guard guard(MachineLock());
    auto& table = TheTable();
    winsim::ProcessCreation creation;
    if (applicationName != nullptr)
    {
        creation.applicationName = applicationName;
    }
    if (commandLine != nullptr)
    {
        creation.commandLine = commandLine;
    }
    creation.processAttributesGiven = processAttributes != nullptr;
    creation.threadAttributesGiven = threadAttributes != nullptr;
    creation.inheritHandles = inheritHandles;
    creation.creationFlags = creationFlags;
    creation.environmentGiven = environment != nullptr;
    if (currentDirectory != nullptr)
    {
        creation.currentDirectory = currentDirectory;
    }
    if (startupInfo != nullptr)
    {
        creation.startupInfoGiven = true;
        creation.startupInfo = *startupInfo;
    }
    table.creations.push_back(creation);
    auto& recorded = table.creations.back();

    if (const auto fault = Enter("CreateProcessW"))
    {
        return Fail(*fault);
    }
    if ((applicationName == nullptr && commandLine == nullptr) || startupInfo == nullptr ||
        processInformation == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring image = applicationName != nullptr ? applicationName : FirstToken(commandLine);
    const auto application = FindApplication(image);
    if (!application)
    {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    const DWORD processId =
        AddProcess(image, commandLine != nullptr ? commandLine : L"\"" + image + L"\"", ProcessAccount::User);
    const auto process = table.processes.at(processId);
    process->terminationDelay = application->terminationDelayMilliseconds;
    if (application->exitAfterMilliseconds)
    {
        process->exitAt = ClockMilliseconds() + *application->exitAfterMilliseconds;
        process->scheduledExitCode = application->exitCode;
        Settle(*process);
    }
    recorded.processId = processId;
    processInformation->hProcess =
        Add<HANDLE>(HandleKind::Process, std::make_shared<ProcessHandleObject>(process, PROCESS_ALL_ACCESS),
                    "process " + std::to_string(processId) + " (CreateProcessW)");
    processInformation->hThread =
        Add<HANDLE>(HandleKind::Thread, std::make_shared<ProcessHandleObject>(process, 0x1FFFFF),
                    "thread of process " + std::to_string(processId) + " (CreateProcessW)");
    processInformation->dwProcessId = processId;
    processInformation->dwThreadId = processId + 1;
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId)
{
    (void)inheritHandle;
    RecordAccessRequest("OpenProcess", desiredAccess);
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("OpenProcess"))
    {
        SetLastError(*fault);
        return nullptr;
    }
    DropUnreferencedEnded();
    const auto process = FindProcess(processId);
    if (process == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The own process is never SYSTEM: a LocalSystem process's mandatory label (System integrity, no
    // read-up) leaves it the limited query and the wait only, whatever the process's DACL grants.
    constexpr DWORD kBelowSystemIntegrityAccess = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;
    if (process->accessDenied || (process->account == ProcessAccount::LocalSystem &&
                                  (desiredAccess & ~kBelowSystemIntegrityAccess) != 0))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return Add<HANDLE>(HandleKind::Process, std::make_shared<ProcessHandleObject>(process, desiredAccess),
                       "process " + std::to_string(processId) + " (OpenProcess)");
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("TerminateProcess"))
    {
        return Fail(*fault);
    }
    const auto object = ResolveProcess(process, false);
    if (object == nullptr)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    // The own process is not terminated in the simulation; an ended process cannot be terminated again.
    if ((object->access & PROCESS_TERMINATE) == 0 || object->process->id == ownProcessId ||
        !object->process->running)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    auto& target = *object->process;
    const std::uint64_t endsAt = ClockMilliseconds() + target.terminationDelay;
    if (!target.exitAt || *target.exitAt > endsAt)
    {
        target.exitAt = endsAt;
        target.scheduledExitCode = exitCode;
    }
    Settle(target);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("WaitForSingleObject"))
    {
        SetLastError(*fault);
        return WAIT_FAILED;
    }
    const auto object = ResolveProcess(handle, true);
    if (object == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if ((object->access & SYNCHRONIZE) == 0)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return WAIT_FAILED;
    }
    auto& process = *object->process;
    if (!process.running)
    {
        return WAIT_OBJECT_0;
    }
    if (process.exitAt && (milliseconds == INFINITE || ClockMilliseconds() + milliseconds >= *process.exitAt))
    {
        ClockMilliseconds() = std::max(ClockMilliseconds(), *process.exitAt);
        Settle(process);
        return WAIT_OBJECT_0;
    }
    if (milliseconds == INFINITE)
    {
        // Nothing would ever end this wait: fail it rather than hang the test.
        ++TheTable().refusedInfiniteWaits;
        SetLastError(ERROR_POSSIBLE_DEADLOCK);
        return WAIT_FAILED;
    }
    ClockMilliseconds() += milliseconds;
    return WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetExitCodeProcess"))
    {
        return Fail(*fault);
    }
    DWORD error = ERROR_SUCCESS;
    const auto object = ResolveQueryableProcess(process, error);
    if (object == nullptr)
    {
        return Fail(error);
    }
    if (exitCode == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *exitCode = object->process->exitCode;
    return TRUE;
}

BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR exeName, PDWORD size)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("QueryFullProcessImageNameW"))
    {
        return Fail(*fault);
    }
    DWORD error = ERROR_SUCCESS;
    const auto object = ResolveQueryableProcess(process, error);
    if (object == nullptr)
    {
        return Fail(error);
    }
    if ((flags & ~static_cast<DWORD>(PROCESS_NAME_NATIVE)) != 0 || size == nullptr ||
        (exeName == nullptr && *size != 0))
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    std::wstring path = object->process->imagePath;
    if ((flags & PROCESS_NAME_NATIVE) != 0 && path.size() >= 2 && path[1] == L':')
    {
        path = L"\\Device\\HarddiskVolume3" + path.substr(2);
    }
    // The size counts the terminating NUL on input and excludes it on output.
    if (*size <= path.size())
    {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(path.begin(), path.end(), exeName);
    exeName[path.size()] = L'\0';
    *size = static_cast<DWORD>(path.size());
    return TRUE;
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetModuleFileNameW"))
    {
        SetLastError(*fault);
        return 0;
    }
    std::wstring path;
    if (module == nullptr || module == reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x140000000ull)))
    {
        path = FindProcess(ownProcessId)->imagePath;
    }
    else
    {
        path = ModulePath(module);
        if (path.empty())
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        if (path.find_first_of(L"\\/") == std::wstring::npos)
        {
            path = L"C:\\Windows\\system32\\" + path; // a system module, known by its name
        }
    }
    if (size == 0 || fileName == nullptr)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // Too small a buffer: the name is cut to size - 1 characters and a NUL, the size is returned, and the
    // last error is ERROR_INSUFFICIENT_BUFFER. Success leaves the last error as it was.
    if (size <= path.size())
    {
        std::copy(path.begin(), path.begin() + (size - 1), fileName);
        fileName[size - 1] = L'\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::copy(path.begin(), path.end(), fileName);
    fileName[path.size()] = L'\0';
    return static_cast<DWORD>(path.size());
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token)
{
    RecordAccessRequest("OpenProcessToken", desiredAccess);
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("OpenProcessToken"))
    {
        return Fail(*fault);
    }
    DWORD error = ERROR_SUCCESS;
    const auto object = ResolveQueryableProcess(process, error);
    if (object == nullptr)
    {
        return Fail(error);
    }
    if (token == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // Every simulated process runs with the one token of the own process.
    *token = Add<HANDLE>(HandleKind::Token,
                         std::make_shared<TokenObject>(TokenObject{TheTable().ownToken, desiredAccess}),
                         "token of process " + std::to_string(object->process->id));
    return TRUE;
}

BOOL WINAPI DuplicateTokenEx(HANDLE existingToken, DWORD desiredAccess, LPSECURITY_ATTRIBUTES tokenAttributes,
                             SECURITY_IMPERSONATION_LEVEL impersonationLevel, TOKEN_TYPE tokenType,
                             PHANDLE newToken)
{
    (void)tokenAttributes;
    RecordAccessRequest("DuplicateTokenEx", desiredAccess);
    std::lock_guard guard(MachineLock());
    TheTable().duplications.push_back(winsim::TokenDuplication{desiredAccess, impersonationLevel, tokenType});
    if (const auto fault = Enter("DuplicateTokenEx"))
    {
        return Fail(*fault);
    }
    const auto existing = Find<TokenObject>(existingToken, HandleKind::Token);
    if (existing == nullptr)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if ((existing->access & TOKEN_DUPLICATE) == 0)
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (newToken == nullptr || (tokenType != TokenPrimary && tokenType != TokenImpersonation) ||
        impersonationLevel < SecurityAnonymous || impersonationLevel > SecurityDelegation)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // A duplicate has privileges of its own from now on.
    auto copy = std::make_shared<TokenState>(*existing->state);
    *newToken =
        Add<HANDLE>(HandleKind::Token, std::make_shared<TokenObject>(TokenObject{copy, desiredAccess}),
                    "duplicated token");
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, PLUID luid)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("LookupPrivilegeValueW"))
    {
        return Fail(*fault);
    }
    // Only the local system is simulated.
    if ((systemName != nullptr && *systemName != L'\0') || name == nullptr || luid == nullptr)
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const auto value = PrivilegeLuid(name);
    if (!value)
    {
        return Fail(ERROR_NO_SUCH_PRIVILEGE);
    }
    luid->LowPart = *value;
    luid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState,
                                  DWORD bufferLength, PTOKEN_PRIVILEGES previousState, PDWORD returnLength)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("AdjustTokenPrivileges"))
    {
        return Fail(*fault);
    }
    const auto object = Find<TokenObject>(token, HandleKind::Token);
    if (object == nullptr)
    {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if ((object->access & TOKEN_ADJUST_PRIVILEGES) == 0 ||
        (previousState != nullptr && (object->access & TOKEN_QUERY) == 0))
    {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if ((!disableAllPrivileges && newState == nullptr) ||
        (previousState != nullptr && returnLength == nullptr))
    {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    auto& privileges = object->state->privileges;
    const auto findByLuid = [&](const LUID& luid)
    {
        return std::find_if(privileges.begin(), privileges.end(),
                            [&](const auto& entry)
                            { return luid.HighPart == 0 && entry.second.luid == luid.LowPart; });
    };

    // What would change, computed before anything is changed.
    struct Change
    {
        std::wstring key;
        Privilege before;
        DWORD newAttributes;
        bool remove;
    };
    std::vector<Change> changes;
    bool notAllAssigned = false;
    if (disableAllPrivileges)
    {
        for (auto it = privileges.begin(); it != privileges.end(); ++it)
        {
            if ((it->second.attributes & SE_PRIVILEGE_ENABLED) != 0)
            {
                changes.push_back({it->first, it->second,
                                   it->second.attributes & ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED), false});
            }
        }
    }
    else
    {
        for (DWORD i = 0; i < newState->PrivilegeCount; ++i)
        {
            const auto& wanted = newState->Privileges[i];
            const auto it = findByLuid(wanted.Luid);
            if (it == privileges.end())
            {
                notAllAssigned = true;
                continue;
            }
            const bool remove = (wanted.Attributes & SE_PRIVILEGE_REMOVED) != 0;
            const DWORD enabled = wanted.Attributes & SE_PRIVILEGE_ENABLED;
            const DWORD attributes =
                (it->second.attributes & ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED)) | enabled;
            const bool listed = std::any_of(changes.begin(), changes.end(),
                                            [&](const Change& change) { return change.key == it->first; });
            if (!listed && (remove || attributes != it->second.attributes))
            {
                changes.push_back({it->first, it->second, attributes, remove});
            }
        }
    }

    if (previousState != nullptr)
    {
        const DWORD needed = static_cast<DWORD>(sizeof(DWORD) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        *returnLength = needed;
        if (bufferLength < needed)
        {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        previousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        auto* entries = previousState->Privileges;
        for (std::size_t i = 0; i < changes.size(); ++i)
        {
            entries[i].Luid.LowPart = changes[i].before.luid;
            entries[i].Luid.HighPart = 0;
            entries[i].Attributes = changes[i].before.attributes;
        }
    }
    for (const auto& change : changes)
    {
        if (change.remove)
        {
            privileges.erase(change.key);
        }
        else
        {
            privileges[change.key].attributes = change.newAttributes;
        }
    }
    // Success always sets the last error: ERROR_SUCCESS, or ERROR_NOT_ALL_ASSIGNED when the token lacks
    // one of the privileges.
    SetLastError(notAllAssigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
    return TRUE;
}
