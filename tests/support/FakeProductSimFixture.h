// Sim tests with the fake product library installed next to the simulated executable. Every test
// checks afterwards that all SDK objects and strings were released, the library was unloaded, and
// nothing reached the library while it was not loaded. Include only from *SimTest.cpp files.
#pragma once

#include "sdk/ClientLibrary.h"
#include "sdk/Sdk.h"
#include "support/FakeProduct.h"

#include <SimTest.h>
#include <winsim/Modules.h>
#include <winsim/Processes.h>

#include <gtest/gtest.h>

#include <string>

namespace Quelvo::testing
{
inline const std::wstring kProductFolder = L"C:\\Program Files\\Quelvo Product\\";
inline const std::wstring kToolPath = kProductFolder + L"remediation.exe";
inline const std::wstring kClientLibraryPath = kProductFolder + L"endpointprotectionclient.dll";

class FakeProductSimTest : public winsim::testing::SimTest
{
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        FakeProduct::Instance().Reset();
        winsim::SetExecutablePath(kToolPath);
        InstallLibrary(true);
    }

    void TearDown() override
    {
        auto& product = FakeProduct::Instance();
        EXPECT_EQ(0, EndpointProtectionSdk::Sdk::LiveObjectCount());
        EXPECT_FALSE(EndpointProtectionSdk::IsClientLibraryLoaded());
        EXPECT_FALSE(winsim::IsLibraryLoaded(kClientLibraryPath));
        EXPECT_EQ(0, product.liveObjects) << "SDK objects not released";
        EXPECT_EQ(0, product.liveStrings) << "strings not released";
        EXPECT_EQ(0, product.doubleReleases) << "strings released twice";
        EXPECT_EQ(0, product.callsWhileDetached) << "calls into the library while it was not loaded";
        // Keep a failed test from spoiling the next one.
        EndpointProtectionSdk::UnloadClientLibrary();
        SimTest::TearDown();
    }

    // The library in the executable's folder, with or without its export.
    static void InstallLibrary(bool withExport)
    {
        winsim::LibraryDefinition definition;
        if (withExport)
        {
            definition.exports["GetEndpointProtectionClientFactory"] =
                reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&FakeProduct::GetFactory));
        }
        definition.onAttach = [] { FakeProduct::Instance().Attach(); };
        definition.onDetach = [] { FakeProduct::Instance().Detach(); };
        winsim::AddLibrary(kClientLibraryPath, definition);
    }

    static FakeProductScript& Script() { return FakeProduct::Instance().script; }
    static const std::vector<std::string>& Journal() { return FakeProduct::Instance().journal; }
};
} // namespace Quelvo::testing
