// The demo product that the sweep runs the tool against: a folder with the tool, the demo client
// library and the demo UI, the product service, the script that steers the library, and what the product
// recorded (the library's journals, the UI's log, the service's state).
#pragma once

#include "Scenario.h"

#include "installer/ServiceInstaller.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Quelvo::ShippedSweep
{
// What the product saw in one run.
struct ProductRecord
{
    std::vector<std::string> journal;
    std::vector<std::string> trustedJournal;
    bool uiStarted = false;
    DWORD serviceState = 0; // 0: not installed
};

class ProductFolder
{
public:
    // Copies the tool, the client library and the UI into `folder`.
    ProductFolder(std::wstring folder, const std::wstring& tool, const std::wstring& library,
                  const std::wstring& ui);
    ~ProductFolder();
    ProductFolder(const ProductFolder&) = delete;
    ProductFolder& operator=(const ProductFolder&) = delete;

    const std::wstring& Folder() const { return m_folder; }
    std::wstring Tool() const { return m_folder + L"remediation.exe"; }
    std::wstring UiPath() const { return m_folder + L"demo_ui.exe"; }

    // The state a run of the scenario starts from: service, script, library, no records.
    void Reset(const Scenario& scenario);
    // What the product recorded; waits a moment for a UI that was started to write down its start.
    ProductRecord Read(bool waitForUi) const;
    // Puts the library back after a scenario without it.
    void Restore();

private:
    void PrepareService(ServiceSetup setup);

    std::wstring m_folder;
    std::optional<DemoProduct::ScopedService> m_service;
    std::optional<ServiceSetup> m_installedAs;
    bool m_libraryParked = false;
};
} // namespace Quelvo::ShippedSweep
