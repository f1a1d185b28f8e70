// The product service check before an enable command, and its recovery when the service is down.
#pragma once

#include <cstdint>

namespace Quelvo
{
// Whether the product service is up (start-pending or running); never throws.
bool IsServiceAvailable();

// Starts the primary product service and waits until it runs; returns a Win32 code, never throws.
std::uint32_t RecoverService();
} // namespace Quelvo
