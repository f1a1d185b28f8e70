// Shared pieces of the service tests against the simulated Windows.
#pragma once

#include "SimTest.h"

#include <winsim/Services.h>

#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>
#include <system_error>

namespace Quelvo::testing
{
inline const std::wstring kPrimary = L"EndpointProtectionService";
inline const std::wstring kAlternative = L"EndpointProtectionService2";
inline const std::wstring kServiceImage = L"C:\\Program Files\\Demo\\demo_service.exe";

// The machine is reset before each test; afterwards no handle may be open, closed twice, or used
// after it was closed.
class ServiceSimTest : public winsim::testing::SimTest
{
protected:
    void TearDown() override
    {
        SimTest::TearDown();
        EXPECT_EQ(0u, winsim::InvalidServiceHandleUseCount())
            << ::testing::PrintToString(winsim::InvalidServiceHandleUses());
    }

    // A service that grants its users what a standard user gets, and `extraRights` besides (such as the
    // SERVICE_START of the recovery).
    static winsim::ServiceDefinition Service(const std::wstring& name, DWORD state = SERVICE_STOPPED,
                                             DWORD extraRights = 0)
    {
        winsim::ServiceDefinition definition;
        definition.grantedRights = winsim::kStandardUserServiceRights | extraRights;
        definition.name = name;
        definition.commandLine = L"\"" + kServiceImage + L"\" --run";
        definition.imagePath = kServiceImage;
        definition.state = state;
        return definition;
    }

    static void Install(const std::wstring& name, DWORD state = SERVICE_STOPPED, DWORD extraRights = 0)
    {
        winsim::InstallService(Service(name, state, extraRights));
    }
};

// Runs `call` and expects std::system_error in the system category with `code` and `message`.
inline void ExpectSystemError(const std::function<void()>& call, DWORD code, const std::string& message)
{
    try
    {
        call();
        ADD_FAILURE() << "no exception; expected system error " << code << " \"" << message << "\"";
    }
    catch (const std::system_error& error)
    {
        EXPECT_EQ(static_cast<int>(code), error.code().value());
        EXPECT_EQ(std::system_category(), error.code().category());
        EXPECT_EQ(0u, std::string(error.what()).rfind(message, 0)) << error.what();
    }
}

// Runs `call` and expects an exception that is not a std::system_error, with exactly `message`.
inline void ExpectPlainError(const std::function<void()>& call, const std::string& message)
{
    try
    {
        call();
        ADD_FAILURE() << "no exception; expected \"" << message << "\"";
    }
    catch (const std::system_error& error)
    {
        ADD_FAILURE() << "unexpected system error " << error.code().value() << ": " << error.what();
    }
    catch (const std::exception& error)
    {
        EXPECT_EQ(message, error.what());
    }
}
} // namespace Quelvo::testing
