// Test control of the simulated Windows: resets it, scripts faults, inspects handles and the clock.
// Only tests and test scripts include this header; product code never does.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace winsim
{
// Puts the whole simulated machine back into its initial state: no faults, no handles, clock at 0.
void Reset();

// Whether the calling thread is inside the simulated machine now (a simulated call holds the machine's
// lock for its whole work). What is allocated there is the machine's own, not its caller's: a test that
// fails the caller's allocations leaves these alone, as no Windows call throws into its caller.
bool InsideMachine();

// Fault injection. A function is named as it is declared ("OpenServiceW"); a scripted failure makes the
// call fail as documented for it, with `error` as its last error (or status, for registry calls).
void FailNext(std::string_view function, DWORD error);
// Fails the `nth` call of `function` from now on (1 is the next call), once.
void FailNth(std::string_view function, unsigned nth, DWORD error);
void FailAlways(std::string_view function, DWORD error);
void ClearFaults();
// Windows does not promise that a successful call leaves the last error alone: from now on, every call
// of `function` that succeeds leaves `error` as the last error (0 clears it). Until Reset.
void SetLastErrorOnSuccess(std::string_view function, DWORD error);
// Runs `action` at the start of the `nth` call of `function` from now (1 is the next call), once: what
// changes on the machine between two calls, such as a path that grows between the size query and the
// read.
void BeforeCall(std::string_view function, unsigned nth, std::function<void()> action);
// Total number of scripted failures that were delivered since Reset.
std::size_t FaultsDelivered();

// Every simulated call since Reset, by name, in order.
const std::vector<std::string>& CallLog();
std::size_t CallCount(std::string_view function);

// One access mask asked of OpenSCManagerW, OpenServiceW, OpenProcess, OpenProcessToken or
// DuplicateTokenEx.
struct AccessRequest
{
    std::string function;
    DWORD desiredAccess = 0;

    bool operator==(const AccessRequest&) const = default;
};
std::ostream& operator<<(std::ostream& stream, const AccessRequest& request);
// Every access mask asked since Reset, in order, whether or not the call succeeded.
const std::vector<AccessRequest>& AccessRequests();

// The handle table. Every handle the simulation hands out is in it until it is closed.
std::size_t OpenHandleCount();
std::vector<std::string> OpenHandleDescriptions();
// Closes of unknown or already closed handles (each also fails with ERROR_INVALID_HANDLE).
std::size_t DoubleCloseCount();
std::vector<std::string> DoubleCloseDescriptions();

// The virtual clock: Sleep and timed waits advance it; nothing real waits.
std::uint64_t NowMilliseconds();
void AdvanceClock(std::uint64_t milliseconds);
// What _time64 reports while the virtual clock is at 0.
void SetWallClock(std::int64_t secondsSince1970);
// The time zone of the machine, in the POSIX TZ form ("CET-1CEST,M3.5.0,M10.5.0/3"; "UTC0").
void SetTimeZone(const char* posixTimeZone);

// The simulated file system, for paths: a file that exists, and short (8.3) names.
void AddFile(const std::wstring& path);
void AddShortName(const std::wstring& longPath, const std::wstring& shortPath);
} // namespace winsim
