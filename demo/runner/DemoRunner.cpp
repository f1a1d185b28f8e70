// Runs remediation.exe against the demo product, one command line after another, and prints a row for
// each: the command line, the full exit code with its constant name (or the system's text for it) and
// the case; below it, what the product saw, with the files of the product folder named relative to it.
// Everything it needs lies next to it: remediation.exe, endpointprotectionclient.dll, demo_ui.exe and
// demo_service.exe (which it installs as the product service through the SCM).
#include "base/TextConversion.h"
#include "installer/ServiceInstaller.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace
{
using Quelvo::Utf16FromUtf8;
using Quelvo::Utf8FromUtf16;

const wchar_t kServiceName[] = L"EndpointProtectionService";

enum class ServiceSetup
{
    Running,
    Stopped,
    Missing,
};

struct Scenario
{
    const wchar_t* commandLine;
    const char* what;
    ServiceSetup service;
    std::string script;
    bool withLibrary = true;
};

std::filesystem::path ProductFolder()
{
    std::wstring program(32768, L'\0');
    program.resize(GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size())));
    return std::filesystem::path(program).parent_path();
}

std::vector<std::string> ReadLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
    {
        lines.push_back(line);
    }
    return lines;
}

// The system's message for a code, without the line break it ends with; the code itself where the system
// has none. (The C++ library's system_category() may know only the C runtime's errno texts.)
std::string SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> message(buffer, &LocalFree);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : Utf8FromUtf16(text);
}

// The code's constant name where the demo knows it, otherwise the system's own text for it.
std::string CodeName(DWORD code)
{
    switch (code)
    {
    case 0:
        return "ERROR_SUCCESS";
    case 5:
        return "ERROR_ACCESS_DENIED";
    case 31:
        return "ERROR_GEN_FAILURE";
    case 87:
        return "ERROR_INVALID_PARAMETER";
    case 1053:
        return "ERROR_SERVICE_REQUEST_TIMEOUT";
    case 1058:
        return "ERROR_SERVICE_DISABLED";
    case 1060:
        return "ERROR_SERVICE_DOES_NOT_EXIST";
    case 1064:
        return "ERROR_EXCEPTION_IN_SERVICE";
    case 1225:
        return "ERROR_CANCELLED";
    case 1722:
        return "RPC_S_SERVER_UNAVAILABLE";
    default:
        break;
    }
    return SystemText(code);
}

// Every place where `text` names a file of the product folder names it relative to the folder.
std::string RelativeToFolder(std::string text, const std::filesystem::path& folder)
{
    const std::string prefix = Utf8FromUtf16(folder.wstring()) + "\\";
    const auto lower = [](std::string value)
    {
        std::transform(value.begin(), value.end(), value.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return value;
    };
    const std::string lowerPrefix = lower(prefix);
    for (auto at = lower(text).find(lowerPrefix); at != std::string::npos;
         at = lower(text).find(lowerPrefix, at))
    {
        text.erase(at, prefix.size());
    }
    return text;
}

// Prints what the product saw under its row, indented, broken between its items to fit the width.
void PrintWhatTheProductSaw(const std::string& saw)
{
    constexpr std::size_t kWidth = 120;
    constexpr std::string_view kIndent = "    ";
    std::string line(kIndent);
    std::size_t from = 0;
    while (from < saw.size())
    {
        const auto end = std::min(saw.find("; ", from), saw.size());
        const std::string item = saw.substr(from, end - from) + (end < saw.size() ? ";" : "");
        if (line.size() > kIndent.size() && line.size() + 1 + item.size() > kWidth)
        {
            std::printf("%s\n", line.c_str());
            line = kIndent;
        }
        line += (line.size() > kIndent.size() ? " " : "") + item;
        from = end + 2;
    }
    std::printf("%s\n", line.c_str());
}

// The product's side of a run, in a few words: its own operations (not the connection bookkeeping),
// the UI starts, and the state of its service.
std::string WhatTheProductSaw(const std::filesystem::path& folder)
{
    std::vector<std::string> seen;
    for (const auto* journal : {L"journal.txt", L"journal.txt.trusted"})
    {
        const bool trusted = std::wstring(journal).find(L"trusted") != std::wstring::npos;
        for (const auto& line : ReadLines(folder / journal))
        {
            const bool operation = line.find('#') != std::string::npos &&
                                   line.find('.') != std::string::npos &&
                                   line.find(".Connect(") == std::string::npos;
            if (operation && line.rfind("release ", 0) != 0)
            {
                seen.push_back((trusted ? "trusted: " : "") + line.substr(line.find('.') + 1));
            }
            else if (line.rfind("trusted instance", 0) == 0)
            {
                seen.push_back(line);
            }
            else if (line.rfind("detach live=", 0) == 0 && line != "detach live=0 strings=0")
            {
                seen.push_back("LEAK " + line);
            }
        }
    }
    for (const auto& start : ReadLines(folder / L"ui.txt"))
    {
        seen.push_back("UI started: " + start);
    }
    std::string text;
    for (const auto& item : seen)
    {
        text += (text.empty() ? "" : "; ") + item;
    }
    return text.empty() ? "nothing" : text;
}

std::string ServiceState()
{
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
    {
        return "?";
    }
    std::string state = "not installed";
    if (const SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS))
    {
        SERVICE_STATUS status{};
        QueryServiceStatus(service, &status);
        state = status.dwCurrentState == SERVICE_RUNNING   ? "running"
                : status.dwCurrentState == SERVICE_STOPPED ? "stopped"
                                                           : "state " + std::to_string(status.dwCurrentState);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

DWORD RunTool(const std::filesystem::path& folder, const std::wstring& arguments)
{
    const std::wstring tool = (folder / L"remediation.exe").wstring();
    std::wstring commandLine = L"\"remediation.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.wstring().c_str(), &startup, &process))
    {
        return GetLastError();
    }
    WaitForSingleObject(process.hProcess, 15 * 60 * 1000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

void PrepareService(ServiceSetup setup, std::optional<DemoProduct::ScopedService>& service)
{
    if (setup == ServiceSetup::Missing)
    {
        service.reset();
        DemoProduct::RemoveServiceIfInstalled(kServiceName);
        return;
    }
    if (!service)
    {
        service.emplace(kServiceName, DemoProduct::DemoServiceCommandLine(L"--start-delay-ms 300"));
    }
    if (setup == ServiceSetup::Running && service->Status().dwCurrentState != SERVICE_RUNNING)
    {
        service->StartRaw();
        service->WaitForState(SERVICE_RUNNING);
    }
    if (setup == ServiceSetup::Stopped)
    {
        service->StopAndWait();
    }
}

int Run()
{
    const std::filesystem::path folder = ProductFolder();
    const std::filesystem::path library = folder / L"endpointprotectionclient.dll";
    const std::filesystem::path parkedLibrary = folder / L"endpointprotectionclient.dll.parked";
    SetEnvironmentVariableW(L"DEMO_PRODUCT_SCRIPT", (folder / L"script.txt").wstring().c_str());
    SetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", (folder / L"journal.txt").wstring().c_str());
    SetEnvironmentVariableW(L"DEMO_UI_LOG", (folder / L"ui.txt").wstring().c_str());
    const std::string ui = "ui.path=" + Utf8FromUtf16((folder / L"demo_ui.exe").wstring()) + "\n";

    const std::vector<Scenario> scenarios = {
        {L"/av /enable", "service running", ServiceSetup::Running, ""},
        {L"/AS /ENABLE", "service stopped: the tool starts it", ServiceSetup::Stopped, ""},
        {L"/av /enable", "service not installed", ServiceSetup::Missing, ""},
        {L"/fw /enable", "firewall allowed", ServiceSetup::Running, "firewall.allowed=1\n"},
        {L"/fw /enable", "firewall not allowed", ServiceSetup::Running, "firewall.allowed=0\n"},
        {L"/av /update", "", ServiceSetup::Running, ""},
        {L"/update", "no /av, /as or /fw", ServiceSetup::Running, ""},
        {L"/av /launch", "", ServiceSetup::Running, ui},
        {L"/fw /renew", "", ServiceSetup::Running, ui},
        {L"/av /disable", "relaunched; time stamp in the past", ServiceSetup::Running,
         "launcher.start=1\ntimestamp=2000-01-01T00:00:00Z\n"},
        {L"/av /disable", "relaunched; time stamp in the future: refused", ServiceSetup::Running,
         "launcher.start=1\ntimestamp=2999-01-01T00:00:00Z\n"},
        {L"/av /disable /trusted", "time stamp in the future: refused", ServiceSetup::Running,
         "timestamp=2999-01-01T00:00:00Z\n"},
        {L"/av /disable /trusted", "time stamp malformed", ServiceSetup::Running, "timestamp=2024/01/01\n"},
        {L"/av /enable", "client library missing", ServiceSetup::Running, "", false},
        {L"/av /enable", "Connect fails with 1722", ServiceSetup::Running, "result.Connect=1722\n"},
    };

    std::optional<DemoProduct::ScopedService> service;
    std::printf("%-22s %-5s %-30s %s\n    %s\n", "command line", "code", "name", "case",
                "what the product saw");
    int failures = 0;
    for (const auto& scenario : scenarios)
    {
        PrepareService(scenario.service, service);
        for (const auto* file : {L"journal.txt", L"journal.txt.trusted", L"ui.txt"})
        {
            std::filesystem::remove(folder / file);
        }
        std::ofstream(folder / L"script.txt", std::ios::trunc) << scenario.script;
        if (!scenario.withLibrary)
        {
            std::filesystem::rename(library, parkedLibrary);
        }
        const DWORD code = RunTool(folder, scenario.commandLine);
        if (!scenario.withLibrary)
        {
            std::filesystem::rename(parkedLibrary, library);
        }
        // The UI runs on by itself; give it a moment to write down what it received.
        for (int i = 0; i < 40 && scenario.script == ui && ReadLines(folder / L"ui.txt").empty(); ++i)
        {
            Sleep(50);
        }
        std::string saw = WhatTheProductSaw(folder);
        if (scenario.service != ServiceSetup::Running)
        {
            saw += "; service " + ServiceState();
        }
        failures += saw.find("LEAK") != std::string::npos ? 1 : 0;
        char row[256] = {};
        std::snprintf(row, sizeof(row), "%-22s %-5lu %-30s %s", Utf8FromUtf16(scenario.commandLine).c_str(),
                      static_cast<unsigned long>(code), CodeName(code).c_str(), scenario.what);
        std::string text(row);
        text.erase(text.find_last_not_of(' ') + 1); // a row without a case ends with its name
        std::printf("%s\n", text.c_str());
        PrintWhatTheProductSaw(RelativeToFolder(saw, folder));
        std::fflush(stdout);
    }
    service.reset();
    DemoProduct::RemoveServiceIfInstalled(kServiceName);
    return failures == 0 ? 0 : 1;
}
} // namespace

int wmain()
{
    try
    {
        return Run();
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "demo: %s\n", e.what());
        return 1;
    }
}
