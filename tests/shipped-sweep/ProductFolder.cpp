#include "ProductFolder.h"

#include "base/TextConversion.h"

#include <fstream>
#include <stdexcept>

namespace Quelvo::ShippedSweep
{
namespace
{
const wchar_t kServiceName[] = L"EndpointProtectionService";

std::vector<std::string> ReadLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::ifstream file(Utf8FromUtf16(path));
    for (std::string line; std::getline(file, line);)
    {
        lines.push_back(line);
    }
    return lines;
}

void Copy(const std::wstring& from, const std::wstring& to)
{
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
    {
        throw std::runtime_error("cannot copy " + Utf8FromUtf16(from) + ": error " +
                                 std::to_string(GetLastError()));
    }
}

DWORD InstalledServiceState()
{
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    DWORD state = 0;
    if (const SC_HANDLE service =
            manager ? OpenServiceW(manager, kServiceName, SERVICE_QUERY_STATUS) : nullptr)
    {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
        {
            state = status.dwCurrentState;
        }
        CloseServiceHandle(service);
    }
    if (manager != nullptr)
    {
        CloseServiceHandle(manager);
    }
    return state;
}
} // namespace

ProductFolder::ProductFolder(std::wstring folder, const std::wstring& tool, const std::wstring& library,
                             const std::wstring& ui)
    : m_folder(std::move(folder))
{
    CreateDirectoryW(m_folder.c_str(), nullptr);
    Copy(tool, Tool());
    Copy(library, m_folder + L"endpointprotectionclient.dll");
    Copy(ui, UiPath());
    SetEnvironmentVariableW(L"DEMO_PRODUCT_SCRIPT", (m_folder + L"script.txt").c_str());
    SetEnvironmentVariableW(L"DEMO_PRODUCT_JOURNAL", (m_folder + L"journal.txt").c_str());
    SetEnvironmentVariableW(L"DEMO_UI_LOG", (m_folder + L"ui.txt").c_str());
    // As on an ordinary Debian desktop: the tool answers whatever its runtime makes of the locale.
    SetEnvironmentVariableW(L"LANG", L"en_US.UTF-8");
}

ProductFolder::~ProductFolder()
{
    Restore();
    m_service.reset();
    DemoProduct::RemoveServiceIfInstalled(kServiceName);
}

void ProductFolder::Reset(const Scenario& scenario)
{
    PrepareService(scenario.service);
    for (const auto* file : {L"journal.txt", L"journal.txt.trusted", L"ui.txt"})
    {
        DeleteFileW((m_folder + file).c_str());
    }
    std::ofstream(Utf8FromUtf16(m_folder + L"script.txt"), std::ios::trunc) << scenario.script;
    if (!scenario.withLibrary && !m_libraryParked)
    {
        MoveFileW((m_folder + L"endpointprotectionclient.dll").c_str(),
                  (m_folder + L"endpointprotectionclient.dll.parked").c_str());
        m_libraryParked = true;
    }
    if (scenario.withLibrary)
    {
        Restore();
    }
}

void ProductFolder::Restore()
{
    if (m_libraryParked)
    {
        MoveFileW((m_folder + L"endpointprotectionclient.dll.parked").c_str(),
                  (m_folder + L"endpointprotectionclient.dll").c_str());
        m_libraryParked = false;
    }
}

void ProductFolder::PrepareService(ServiceSetup setup)
{
    if (setup == ServiceSetup::Missing)
    {
        m_service.reset();
        m_installedAs.reset();
        DemoProduct::RemoveServiceIfInstalled(kServiceName);
        return;
    }
    const bool failing = setup == ServiceSetup::StopsBeforeRunning;
    if (m_service && (m_installedAs == ServiceSetup::StopsBeforeRunning) != failing)
    {
        m_service.reset();
    }
    if (!m_service)
    {
        m_service.emplace(kServiceName,
                          DemoProduct::DemoServiceCommandLine(
                              failing ? L"--start-delay-ms 300 --fail-with 1066" : L"--start-delay-ms 300"));
        m_installedAs = setup;
    }
    if (setup == ServiceSetup::Running && m_service->Status().dwCurrentState != SERVICE_RUNNING)
    {
        m_service->StopAndWait();
        m_service->StartRaw();
        m_service->WaitForState(SERVICE_RUNNING);
    }
    if (setup != ServiceSetup::Running)
    {
        m_service->StopAndWait();
    }
}

ProductRecord ProductFolder::Read(bool waitForUi) const
{
    ProductRecord record;
    for (int i = 0; i < 40 && waitForUi && ReadLines(m_folder + L"ui.txt").empty(); ++i)
    {
        Sleep(50);
    }
    record.journal = ReadLines(m_folder + L"journal.txt");
    record.trustedJournal = ReadLines(m_folder + L"journal.txt.trusted");
    record.uiStarted = !ReadLines(m_folder + L"ui.txt").empty();
    record.serviceState = InstalledServiceState();
    return record;
}
} // namespace Quelvo::ShippedSweep
