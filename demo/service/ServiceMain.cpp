// The demo product's service: an own-process Windows service that reports start-pending, then running
// (or stopped with an exit code, when asked to fail), and stops on request.
#include "ServiceOptions.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace
{
constexpr DWORD kCheckPointStepMs = 100;

class DemoService
{
public:
    void Run(const std::vector<std::wstring>& arguments, const wchar_t* name)
    {
        const Demo::ServiceOptions options = Demo::ParseServiceOptions(arguments);
        // The event exists before the handler can see a stop control.
        m_stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_statusHandle = RegisterServiceCtrlHandlerExW(name, &DemoService::Handler, this);
        if (m_statusHandle == nullptr || m_stopRequested == nullptr)
        {
            return;
        }

        for (DWORD waited = 0; waited < options.startDelayMs; waited += kCheckPointStepMs)
        {
            Report(SERVICE_START_PENDING, NO_ERROR, options.startDelayMs - waited + 1000);
            Sleep(kCheckPointStepMs);
        }
        Report(SERVICE_START_PENDING, NO_ERROR, 1000);

        if (options.failWith)
        {
            // A failed start is reported, not left to the process's end: some SCMs keep a service
            // start-pending when its process just exits.
            Report(SERVICE_STOPPED, *options.failWith, 0);
            CloseHandle(m_stopRequested);
            return;
        }

        Report(SERVICE_RUNNING, NO_ERROR, 0);
        WaitForSingleObject(m_stopRequested, INFINITE);
        for (DWORD waited = 0; waited < options.stopDelayMs; waited += kCheckPointStepMs)
        {
            Report(SERVICE_STOP_PENDING, NO_ERROR, options.stopDelayMs - waited + 1000);
            Sleep(kCheckPointStepMs);
        }
        CloseHandle(m_stopRequested);
        Report(SERVICE_STOPPED, NO_ERROR, 0);
    }

private:
    static DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID context)
    {
        auto* service = static_cast<DemoService*>(context);
        switch (control)
        {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            service->Report(SERVICE_STOP_PENDING, NO_ERROR, 5000);
            SetEvent(service->m_stopRequested);
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
    }

    void Report(DWORD state, DWORD exitCode, DWORD waitHint)
    {
        SERVICE_STATUS status{};
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWin32ExitCode = exitCode;
        const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status.dwCheckPoint = pending ? ++m_checkPoint : 0;
        status.dwWaitHint = waitHint;
        SetServiceStatus(m_statusHandle, &status);
    }

    SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
    HANDLE m_stopRequested = nullptr;
    DWORD m_checkPoint = 0;
};

// The arguments of the service's command line, after the program name.
std::vector<std::wstring> CommandLineArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* values = CommandLineToArgvW(GetCommandLineW(), &count);
    if (values != nullptr)
    {
        arguments.assign(values + (count > 0 ? 1 : 0), values + count);
        LocalFree(values);
    }
    return arguments;
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv)
{
    // Start arguments (after the service name) follow the command line's, so that they win.
    std::vector<std::wstring> arguments = CommandLineArguments();
    for (DWORD i = 1; i < argc; ++i)
    {
        arguments.emplace_back(argv[i]);
    }
    DemoService service;
    service.Run(arguments, argc > 0 ? argv[0] : L"");
}
} // namespace

int main()
{
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
