// The core of the simulated Windows: last error, call log, faults, handle table, clock and time.
#include "Internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <vector>

namespace winsim::detail
{
namespace
{
struct Fault
{
    std::string function;
    unsigned remainingCalls; // 1 = the next call; 0 = every call
    bool always;
    DWORD error;
};

struct ScheduledAction
{
    std::string function;
    unsigned remainingCalls; // 1 = the next call
    std::function<void()> action;
};

struct HandleEntry
{
    HandleKind kind;
    std::shared_ptr<void> object;
    std::string description;
};

struct Machine
{
    std::vector<Fault> faults;
    std::map<std::string, DWORD, std::less<>> errorsOnSuccess;
    std::vector<ScheduledAction> scheduledActions;
    std::size_t faultsDelivered = 0;
    std::vector<std::string> callLog;
    std::vector<winsim::AccessRequest> accessRequests;
    std::map<std::uintptr_t, HandleEntry> handles;
    std::uintptr_t nextHandle = 0x1000;
    std::vector<std::string> doubleCloses;
    std::uint64_t clock = 0;
    std::int64_t wallClockBase = 1767225600; // 2026-01-01T00:00:00Z
};

Machine& TheMachine()
{
    static Machine machine;
    return machine;
}

thread_local DWORD lastError = 0;
// How deep the thread holds the machine's lock.
thread_local int machineDepth = 0;
} // namespace

void MachineMutex::lock()
{
    m_mutex.lock();
    ++machineDepth;
}

void MachineMutex::unlock()
{
    --machineDepth;
    m_mutex.unlock();
}

bool MachineMutex::try_lock()
{
    if (!m_mutex.try_lock())
    {
        return false;
    }
    ++machineDepth;
    return true;
}

MachineMutex& MachineLock()
{
    static MachineMutex lock;
    return lock;
}

std::optional<DWORD> Enter(const char* function)
{
    std::lock_guard guard(MachineLock());
    auto& machine = TheMachine();
    machine.callLog.emplace_back(function);
    for (auto it = machine.scheduledActions.begin(); it != machine.scheduledActions.end(); ++it)
    {
        if (it->function == function && --it->remainingCalls == 0)
        {
            const auto action = std::move(it->action);
            machine.scheduledActions.erase(it);
            action();
            break;
        }
    }
    for (auto it = machine.faults.begin(); it != machine.faults.end(); ++it)
    {
        if (it->function != function)
        {
            continue;
        }
        if (it->always)
        {
            ++machine.faultsDelivered;
            return it->error;
        }
        if (--it->remainingCalls == 0)
        {
            const DWORD error = it->error;
            machine.faults.erase(it);
            ++machine.faultsDelivered;
            return error;
        }
    }
    // Set before the call does its work, so that a call that sets the last error itself still does.
    if (const auto it = machine.errorsOnSuccess.find(function); it != machine.errorsOnSuccess.end())
    {
        lastError = it->second;
    }
    return std::nullopt;
}

void RecordAccessRequest(const char* function, DWORD desiredAccess)
{
    std::lock_guard guard(MachineLock());
    TheMachine().accessRequests.push_back(winsim::AccessRequest{function, desiredAccess});
}

std::uintptr_t AddHandle(HandleKind kind, std::shared_ptr<void> object, std::string description)
{
    std::lock_guard guard(MachineLock());
    auto& machine = TheMachine();
    const std::uintptr_t value = machine.nextHandle;
    machine.nextHandle += 4;
    machine.handles.emplace(value, HandleEntry{kind, std::move(object), std::move(description)});
    return value;
}

std::shared_ptr<void> FindHandle(std::uintptr_t value, HandleKind kind)
{
    std::lock_guard guard(MachineLock());
    auto& handles = TheMachine().handles;
    const auto it = handles.find(value);
    if (it == handles.end() || it->second.kind != kind)
    {
        return nullptr;
    }
    return it->second.object;
}

bool RemoveHandle(std::uintptr_t value, std::initializer_list<HandleKind> kinds, const char* closer)
{
    std::lock_guard guard(MachineLock());
    auto& machine = TheMachine();
    const auto it = machine.handles.find(value);
    if (it == machine.handles.end() || std::find(kinds.begin(), kinds.end(), it->second.kind) == kinds.end())
    {
        char text[64];
        std::snprintf(text, sizeof text, "%s(0x%llx)", closer, static_cast<unsigned long long>(value));
        machine.doubleCloses.emplace_back(text);
        return false;
    }
    machine.handles.erase(it);
    return true;
}

std::string Describe(const std::wstring& text)
{
    std::string result;
    for (const wchar_t unit : text)
    {
        if (unit > 0 && unit < 0x80)
        {
            result.push_back(static_cast<char>(unit));
        }
        else
        {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            result += escaped;
        }
    }
    return result;
}

std::wstring LowerAscii(std::wstring text)
{
    for (auto& c : text)
    {
        if (c >= L'A' && c <= L'Z')
        {
            c = static_cast<wchar_t>(c + 32);
        }
    }
    return text;
}

bool NamesEqual(const std::wstring& left, const std::wstring& right)
{
    const auto lower = [](wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; };
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); });
}

std::uint64_t& ClockMilliseconds()
{
    return TheMachine().clock;
}

std::int64_t WallClockBase()
{
    return TheMachine().wallClockBase;
}
} // namespace winsim::detail

namespace winsim
{
using namespace detail;

void Reset()
{
    std::lock_guard guard(MachineLock());
    auto& machine = TheMachine();
    machine.faults.clear();
    machine.errorsOnSuccess.clear();
    machine.scheduledActions.clear();
    machine.faultsDelivered = 0;
    machine.callLog.clear();
    machine.accessRequests.clear();
    machine.handles.clear();
    machine.doubleCloses.clear();
    machine.clock = 0;
    machine.wallClockBase = 1767225600;
    ResetLoader();
    ResetFileSystem();
    ResetProcesses();
    ResetSystem();
    ResetServices();
    SetLastError(0);
}

bool InsideMachine()
{
    return machineDepth > 0;
}

void FailNext(std::string_view function, DWORD error)
{
    FailNth(function, 1, error);
}

void FailNth(std::string_view function, unsigned nth, DWORD error)
{
    std::lock_guard guard(MachineLock());
    TheMachine().faults.push_back(Fault{std::string(function), nth, false, error});
}

void FailAlways(std::string_view function, DWORD error)
{
    std::lock_guard guard(MachineLock());
    TheMachine().faults.push_back(Fault{std::string(function), 0, true, error});
}

void SetLastErrorOnSuccess(std::string_view function, DWORD error)
{
    std::lock_guard guard(MachineLock());
    TheMachine().errorsOnSuccess[std::string(function)] = error;
}

void BeforeCall(std::string_view function, unsigned nth, std::function<void()> action)
{
    std::lock_guard guard(MachineLock());
    TheMachine().scheduledActions.push_back(ScheduledAction{std::string(function), nth, std::move(action)});
}

void ClearFaults()
{
    std::lock_guard guard(MachineLock());
    TheMachine().faults.clear();
}

std::size_t FaultsDelivered()
{
    std::lock_guard guard(MachineLock());
    return TheMachine().faultsDelivered;
}

const std::vector<std::string>& CallLog()
{
    return TheMachine().callLog;
}

std::size_t CallCount(std::string_view function)
{
    std::lock_guard guard(MachineLock());
    const auto& log = TheMachine().callLog;
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), function));
}

std::ostream& operator<<(std::ostream& stream, const AccessRequest& request)
{
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%lX", static_cast<unsigned long>(request.desiredAccess));
    return stream << request.function << "(" << mask << ")";
}

const std::vector<AccessRequest>& AccessRequests()
{
    return TheMachine().accessRequests;
}

std::size_t OpenHandleCount()
{
    std::lock_guard guard(MachineLock());
    return TheMachine().handles.size();
}

std::vector<std::string> OpenHandleDescriptions()
{
    std::lock_guard guard(MachineLock());
    std::vector<std::string> descriptions;
    for (const auto& [value, entry] : TheMachine().handles)
    {
        descriptions.push_back(entry.description);
    }
    return descriptions;
}

std::size_t DoubleCloseCount()
{
    std::lock_guard guard(MachineLock());
    return TheMachine().doubleCloses.size();
}

std::vector<std::string> DoubleCloseDescriptions()
{
    std::lock_guard guard(MachineLock());
    return TheMachine().doubleCloses;
}

std::uint64_t NowMilliseconds()
{
    std::lock_guard guard(MachineLock());
    return TheMachine().clock;
}

void AdvanceClock(std::uint64_t milliseconds)
{
    std::lock_guard guard(MachineLock());
    TheMachine().clock += milliseconds;
}

void SetWallClock(std::int64_t secondsSince1970)
{
    std::lock_guard guard(MachineLock());
    TheMachine().wallClockBase = secondsSince1970 - static_cast<std::int64_t>(TheMachine().clock / 1000);
}

void SetTimeZone(const char* posixTimeZone)
{
    ::setenv("TZ", posixTimeZone, 1);
    ::tzset();
}
} // namespace winsim

DWORD WINAPI GetLastError()
{
    return winsim::detail::lastError;
}

void WINAPI SetLastError(DWORD errorCode)
{
    winsim::detail::lastError = errorCode;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    using namespace winsim::detail;
    if (const auto fault = Enter("CloseHandle"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))
    {
        return TRUE; // closing the pseudo handle is allowed and does nothing
    }
    if (!RemoveHandle(reinterpret_cast<std::uintptr_t>(handle),
                      {HandleKind::Process, HandleKind::Thread, HandleKind::Token}, "CloseHandle"))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds)
{
    winsim::detail::Enter("Sleep");
    winsim::AdvanceClock(milliseconds);
}

__time64_t _time64(__time64_t* destination)
{
    winsim::detail::Enter("_time64");
    const __time64_t now =
        winsim::detail::WallClockBase() + static_cast<__time64_t>(winsim::NowMilliseconds() / 1000);
    if (destination != nullptr)
    {
        *destination = now;
    }
    return now;
}

__time64_t _mktime64(struct tm* localTime)
{
    winsim::detail::Enter("_mktime64");
    return static_cast<__time64_t>(std::mktime(localTime));
}

__time64_t _mkgmtime64(struct tm* utcTime)
{
    winsim::detail::Enter("_mkgmtime64");
    return static_cast<__time64_t>(::timegm(utcTime));
}
