// The product service check and its recovery against Wine's SCM and the demo product's service.
#include "service/ServiceRecovery.h"
#include "installer/ServiceInstaller.h"

#include <gtest/gtest.h>

namespace Quelvo::testing
{
namespace
{
using DemoProduct::DemoServiceCommandLine;
using DemoProduct::RemoveServiceIfInstalled;
using DemoProduct::ScopedService;
const std::wstring kPrimary = L"EndpointProtectionService";
const std::wstring kAlternative = L"EndpointProtectionService2";

class ServiceRecoveryWineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveServiceIfInstalled(kPrimary);
        RemoveServiceIfInstalled(kAlternative);
    }
};

TEST_F(ServiceRecoveryWineTest, RecoveryStartsAStoppedServiceAndReturnsZeroOnceItRuns)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 600"));
    EXPECT_FALSE(IsServiceAvailable());
    EXPECT_EQ(0u, RecoverService());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.Status().dwCurrentState);
    EXPECT_TRUE(IsServiceAvailable());
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_ALREADY_RUNNING), RecoverService());
}

TEST_F(ServiceRecoveryWineTest, ServiceThatStopsBeforeRunningIsNotRecovered)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 300 --fail-with 1067"));
    EXPECT_NE(0u, RecoverService());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), service.Status().dwCurrentState);
    EXPECT_FALSE(IsServiceAvailable());
}

TEST_F(ServiceRecoveryWineTest, DisabledServiceGivesItsStartError)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(), SERVICE_DISABLED);
    EXPECT_FALSE(IsServiceAvailable());
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_DISABLED), RecoverService());
}

TEST_F(ServiceRecoveryWineTest, OnlyTheAlternativeInstalled)
{
    ScopedService alternative(kAlternative, DemoServiceCommandLine());
    alternative.StartRaw();
    ASSERT_TRUE(alternative.WaitForState(SERVICE_RUNNING));
    EXPECT_FALSE(IsServiceAvailable());
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST), RecoverService());
}

TEST_F(ServiceRecoveryWineTest, StoppedPrimaryDefersToTheAlternative)
{
    ScopedService primary(kPrimary, DemoServiceCommandLine());
    ScopedService alternative(kAlternative, DemoServiceCommandLine());
    EXPECT_FALSE(IsServiceAvailable());
    alternative.StartRaw();
    ASSERT_TRUE(alternative.WaitForState(SERVICE_RUNNING));
    EXPECT_TRUE(IsServiceAvailable());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), primary.Status().dwCurrentState);
}

TEST_F(ServiceRecoveryWineTest, StartPendingPrimaryIsAvailable)
{
    ScopedService service(kPrimary, DemoServiceCommandLine(L"--start-delay-ms 3000"));
    service.StartRaw();
    ASSERT_TRUE(service.WaitForState(SERVICE_START_PENDING));
    EXPECT_TRUE(IsServiceAvailable());
    ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING));
}
} // namespace
} // namespace Quelvo::testing
