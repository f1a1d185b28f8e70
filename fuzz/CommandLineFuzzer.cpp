// The whole entry point: arbitrary argument text against a scripted product and machine. Whatever the
// text, the run must end with a code (no exception escapes), and afterwards no handle is open, no SDK
// object or string is alive, and the client library is unloaded.
//
// Input: the first byte picks the product and machine, the rest is the argument text as UTF-16 code
// units (two bytes each, low byte first).
#include "FuzzCheck.h"

#include "app/CommandLine.h"
#include "app/Dispatch.h"
#include "sdk/ClientLibrary.h"
#include "sdk/Sdk.h"
#include "support/FakeProduct.h"

#include <winsim/Modules.h>
#include <winsim/Processes.h>
#include <winsim/Services.h>

#include <cstdint>
#include <string>

namespace
{
using Quelvo::testing::FakeProduct;

const std::wstring kFolder = L"C:\\Program Files\\Product\\";
const std::wstring kLibrary = kFolder + L"endpointprotectionclient.dll";
const std::wstring kUi = kFolder + L"ui.exe";

void PrepareMachine(std::uint8_t setup)
{
    winsim::SetExecutablePath(kFolder + L"remediation.exe");
    if ((setup & 0x01) == 0)
    {
        winsim::LibraryDefinition library;
        library.exports["GetEndpointProtectionClientFactory"] =
            reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeProduct::GetFactory));
        library.onAttach = [] { FakeProduct::Instance().Attach(); };
        library.onDetach = [] { FakeProduct::Instance().Detach(); };
        winsim::AddLibrary(kLibrary, library);
    }
    if ((setup & 0x06) != 0x06)
    {
        winsim::ServiceDefinition service;
        service.name = L"EndpointProtectionService";
        service.commandLine = L"\"" + kFolder + L"service.exe\"";
        service.imagePath = kFolder + L"service.exe";
        service.state = (setup & 0x06) == 0 ? SERVICE_RUNNING : SERVICE_STOPPED;
        if ((setup & 0x06) == 0x04)
        {
            // Starts, then stops before it runs.
            service.startScript = {{SERVICE_START_PENDING, 2},
                                   winsim::ServiceStep(SERVICE_STOPPED).ProcessExits(0, 1067)};
        }
        // The product lets its users start its service, which the recovery needs.
        service.grantedRights |= SERVICE_START;
        winsim::InstallService(service);
    }
    winsim::AddApplication(kUi);

    auto& script = FakeProduct::Instance().script;
    script.firewallAllowed = (setup & 0x08) == 0;
    script.uiPath =
        (setup & 0x10) == 0 ? std::optional<std::string>("C:\\Program Files\\Product\\ui.exe") : std::nullopt;
    switch ((setup >> 5) & 0x03)
    {
    case 0:
        script.timestamp = "2000-01-01";
        break;
    case 1:
        script.timestamp = "2999-01-01T00:00:00Z";
        break;
    case 2:
        script.timestamp = "2024/01/01";
        break;
    default:
        script.timestamp = std::nullopt;
        break;
    }
    if ((setup & 0x80) != 0)
    {
        script.results["Connect"] = 1722;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    {
        const Quelvo::Fuzz::MachineScope machine;
        FakeProduct::Instance().Reset();
        PrepareMachine(data[0]);
        const std::wstring line = Quelvo::Fuzz::WideFromBytes(data + 1, size - 1);

        std::uint32_t code = 0;
        try
        {
            code = Quelvo::RunTool(line.c_str());
        }
        catch (const std::exception& e)
        {
            Quelvo::Fuzz::Fail("an exception left the entry point:", e.what());
        }

        const auto& product = FakeProduct::Instance();
        Quelvo::Fuzz::Check(Quelvo::EndpointProtectionSdk::Sdk::LiveObjectCount() == 0, "SDK objects alive");
        Quelvo::Fuzz::Check(!Quelvo::EndpointProtectionSdk::IsClientLibraryLoaded(), "client library loaded");
        Quelvo::Fuzz::Check(!winsim::IsLibraryLoaded(kLibrary), "client library left loaded in the loader");
        Quelvo::Fuzz::Check(product.liveObjects == 0 && product.liveStrings == 0 &&
                                product.doubleReleases == 0,
                            "the product's objects or strings were not released exactly once");
        Quelvo::Fuzz::Check(product.callsWhileDetached == 0,
                            "a call reached the library while it was unloaded");
        // A line without any of the three selecting switches is answered 87 and never reaches the product.
        const std::wstring lowered = Quelvo::LowerCasedCommandLine(line.c_str());
        const bool selects = Quelvo::HasSwitch(lowered, L"/av") || Quelvo::HasSwitch(lowered, L"/as") ||
                             Quelvo::HasSwitch(lowered, L"/fw");
        if (!selects)
        {
            Quelvo::Fuzz::Check(code == 87, "a line without /av, /as or /fw was not answered 87");
            Quelvo::Fuzz::Check(product.journal.empty(),
                                "a line without /av, /as or /fw reached the product");
        }
        // Nothing but the relaunch and the three enables ever report 0 without the product's say-so.
        if (code == 0 && selects)
        {
            Quelvo::Fuzz::Check(!product.journal.empty() ||
                                    winsim::ServiceState(L"EndpointProtectionService") == SERVICE_RUNNING,
                                "success without the product or the service having done anything");
        }
    }
    return 0;
}
