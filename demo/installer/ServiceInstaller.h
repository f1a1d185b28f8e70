// Installing and removing the demo product's services through the Service Control Manager, for the
// end-to-end tests and the demo.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace DemoProduct
{
// demo_service.exe, which the build puts next to the programs that install it.
std::wstring DemoServicePath();
// The demo service's command line: its quoted path, then `arguments` (if any).
std::wstring DemoServiceCommandLine(const std::wstring& arguments = {});

// Stops the service if it runs, waits until it stopped, and deletes it; nothing when it is not installed.
void RemoveServiceIfInstalled(const std::wstring& name);

// An own-process service installed for the lifetime of the object. A leftover of the same name (from an
// interrupted run) is removed first; the destructor stops and removes the service again.
class ScopedService
{
public:
    ScopedService(std::wstring name, const std::wstring& commandLine, DWORD startType = SERVICE_DEMAND_START);
    ~ScopedService();

    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

    const std::wstring& Name() const { return m_name; }

    // ChangeServiceConfigW of one setting, the others unchanged.
    void SetStartType(DWORD startType);
    void SetCommandLine(const std::wstring& commandLine);

    SERVICE_STATUS_PROCESS Status() const;
    // Polls the status until `state` is reached; false when `timeout` passes first.
    bool WaitForState(DWORD state, std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Starts the service with StartServiceW (no arguments), without waiting.
    void StartRaw();
    // Sends the stop control if needed and waits until the service stopped.
    void StopAndWait();

private:
    std::wstring m_name;
};
} // namespace DemoProduct
