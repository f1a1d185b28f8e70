// The actions that change the product's protection: real-time protection on and off, the firewall on,
// and a product update. Each connects its own client, releases everything before it returns, and
// returns a Win32 code.
#pragma once

#include "sdk/EndpointProtectionSdk.h"

#include <cstdint>
#include <memory>

namespace Quelvo
{
// Turns real-time protection on, or off when the time gate allows it.
std::uint32_t SetRealTimeProtection(bool enable);

// Turns the firewall on when the product's configurator allows it.
std::uint32_t EnableFirewall();

// Starts a product update.
std::uint32_t UpdateProduct();

// The time gate: true when the product's configured time stamp lies strictly before now. Raises
// DateTimeMalformedError for a malformed time stamp.
bool IsDisableAllowed(const std::shared_ptr<EndpointProtectionSdk::IEppClient>& client);
} // namespace Quelvo
