// Shared machinery of the simulated Windows: call log, fault injection, handle table, clock.
#pragma once

#include <winsim/Control.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace winsim::detail
{
enum class HandleKind
{
    Process,
    Thread,
    Token,
    Module,
    ServiceManager,
    Service,
    RegistryKey,
};

// One lock for the whole machine; the simulated calls are short. While a thread holds it, it counts as
// inside the machine (winsim::InsideMachine), so a simulated call does its work, allocations included,
// with the lock held.
class MachineMutex
{
public:
    void lock();
    void unlock();
    bool try_lock();

private:
    std::recursive_mutex m_mutex;
};

MachineMutex& MachineLock();

// Every simulated function starts here: the call is logged, and a scripted failure is returned.
std::optional<DWORD> Enter(const char* function);
// The functions that open a handle with an access mask record the mask first.
void RecordAccessRequest(const char* function, DWORD desiredAccess);

// Each area of the simulation puts its state back to the initial one; Reset calls them in this order.
void ResetLoader();     // Modules.cpp
void ResetFileSystem(); // Paths.cpp
void ResetProcesses();  // Processes.cpp
void ResetSystem();     // System.cpp: versions, system information, registry, file versions
void ResetServices();   // Services.cpp

// The handle table. Values are never reused, so that a stale handle is always recognised.
std::uintptr_t AddHandle(HandleKind kind, std::shared_ptr<void> object, std::string description);
std::shared_ptr<void> FindHandle(std::uintptr_t value, HandleKind kind);
// Removes a handle of one of `kinds`; an unknown or closed handle is recorded as a double close.
bool RemoveHandle(std::uintptr_t value, std::initializer_list<HandleKind> kinds, const char* closer);

template <class T>
std::shared_ptr<T> Find(const void* handle, HandleKind kind)
{
    return std::static_pointer_cast<T>(FindHandle(reinterpret_cast<std::uintptr_t>(handle), kind));
}

template <class Handle>
Handle Add(HandleKind kind, std::shared_ptr<void> object, std::string description)
{
    return reinterpret_cast<Handle>(AddHandle(kind, std::move(object), std::move(description)));
}

// The virtual clock and the wall-clock second it started at.
std::uint64_t& ClockMilliseconds();
std::int64_t WallClockBase();

// Narrow form of simulated wide text (code units below 0x80 kept, others as \uXXXX), for descriptions.
std::string Describe(const std::wstring& text);
// The text with A-Z lowered, as names are compared without regard to ASCII case.
std::wstring LowerAscii(std::wstring text);
// Case-insensitive (ASCII) equality of wide names, as the file system and the SCM compare names.
bool NamesEqual(const std::wstring& left, const std::wstring& right);
// Whether the simulated (or the host) file system has this path.
bool FileExists(const std::wstring& path);

// The path of a loaded library by its module handle; empty when the handle is not a loaded library.
std::wstring ModulePath(HMODULE module);

// Simulated processes (Processes.cpp). A process runs until it is terminated or until its scheduled
// exit time on the virtual clock; waits on it advance the clock.
// The account a process runs as: the user's own, or LocalSystem (a service's).
enum class ProcessAccount
{
    User,
    LocalSystem,
};
// Starts a process in the process table and returns its id.
DWORD StartSimProcess(const std::wstring& imagePath, const std::wstring& commandLine,
                      ProcessAccount account = ProcessAccount::User);
// Makes the process end with `exitCode` when the virtual clock reaches `atMilliseconds` (at once if
// that time has passed).
void ScheduleProcessExit(DWORD processId, std::uint64_t atMilliseconds, DWORD exitCode);
// Whether the process exists and has not ended yet (ends it first if its scheduled time has come).
bool IsSimProcessRunning(DWORD processId);
} // namespace winsim::detail
