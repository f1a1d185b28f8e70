// Test control of simulated processes and of the own process's token.
// A simulated process runs until it is terminated or until its scheduled exit time on the virtual clock.
// Every process counts as the user's own: by the default DACL of a user's token, its owner may open it
// with any access (PROCESS_ALL_ACCESS), and open its token and a duplicate of that token with any access
// (TOKEN_ALL_ACCESS). The exception is a service's process, which runs as LocalSystem: the own process,
// never SYSTEM, gets no more than PROCESS_QUERY_LIMITED_INFORMATION and SYNCHRONIZE on it
// (ERROR_ACCESS_DENIED for any other right), as Windows' mandatory label allows. DenyProcessAccess makes one
// process refuse every open. A handle allows only what it was opened for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim
{
// A program that CreateProcessW can start (matched by its full path, without regard to ASCII case).
struct ApplicationDefinition
{
    // The started process ends this long after its start with `exitCode`; without it, it runs until it is
    // terminated.
    std::optional<std::uint64_t> exitAfterMilliseconds;
    DWORD exitCode = 0;
    // A terminated process of this program ends this long after TerminateProcess (0: at once).
    std::uint64_t terminationDelayMilliseconds = 0;
};
void AddApplication(const std::wstring& path, ApplicationDefinition definition = {});
void RemoveApplication(const std::wstring& path);

// What one CreateProcessW call was given, successful or not.
struct ProcessCreation
{
    std::optional<std::wstring> applicationName;
    std::optional<std::wstring> commandLine;
    bool processAttributesGiven = false;
    bool threadAttributesGiven = false;
    BOOL inheritHandles = FALSE;
    DWORD creationFlags = 0;
    bool environmentGiven = false;
    std::optional<std::wstring> currentDirectory;
    bool startupInfoGiven = false;
    STARTUPINFOW startupInfo{};
    DWORD processId = 0; // 0 when the call failed
};
const std::vector<ProcessCreation>& ProcessCreations();

// A process started directly by the test (not through CreateProcessW); returns its id.
DWORD StartProcess(const std::wstring& imagePath, const std::wstring& commandLine = {});
// The process ends with `exitCode` when the virtual clock reaches `atMilliseconds`.
void ScheduleProcessExit(DWORD processId, std::uint64_t atMilliseconds, DWORD exitCode);
// Ends the process now, as if it had exited by itself.
void EndProcess(DWORD processId, DWORD exitCode);
bool IsProcessRunning(DWORD processId);
// The exit code of an ended process (STILL_ACTIVE while it runs); nothing for an unknown id.
std::optional<DWORD> ProcessExitCode(DWORD processId);
// OpenProcess of this process fails with ERROR_ACCESS_DENIED.
void DenyProcessAccess(DWORD processId);
// The command line a process was started with.
std::wstring ProcessCommandLine(DWORD processId);

// The own process: its id and the path of its executable (GetModuleFileNameW with a null module,
// QueryFullProcessImageNameW on its handle). Any length, including beyond MAX_PATH.
DWORD CurrentProcessId();
void SetExecutablePath(const std::wstring& path);
std::wstring ExecutablePath();

// Infinite waits on a process that never ends: the simulation does not hang, it fails the wait with
// WAIT_FAILED and ERROR_POSSIBLE_DEADLOCK and counts it here.
std::size_t RefusedInfiniteWaits();

// The own process's token. It holds SeShutdownPrivilege, SeUndockPrivilege, SeTimeZonePrivilege,
// SeIncreaseWorkingSetPrivilege (disabled) and SeChangeNotifyPrivilege (enabled) after Reset.
void GrantPrivilege(const std::wstring& name, DWORD attributes);
void RevokePrivilege(const std::wstring& name);
// The attributes of a privilege the token holds; nothing when it does not hold it.
std::optional<DWORD> PrivilegeAttributes(const std::wstring& name);

// What one DuplicateTokenEx call asked for.
struct TokenDuplication
{
    DWORD desiredAccess = 0;
    SECURITY_IMPERSONATION_LEVEL impersonationLevel = SecurityAnonymous;
    TOKEN_TYPE tokenType = TokenPrimary;
};
const std::vector<TokenDuplication>& TokenDuplications();
} // namespace winsim
