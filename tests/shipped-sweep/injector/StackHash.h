// Names a call by the chain of return addresses that led to it inside the main module, so that the
// sweep can tell a call site reached the same way in two scenarios from one reached another way.
#pragma once

#include <cstdint>

namespace Quelvo::Injection
{
// Unwinds from the caller's frame (its return address, stack and frame pointer as they are after the
// call) while the code lies in [moduleBase, moduleEnd), and hashes the return addresses relative to it.
std::uint64_t StackHash(std::uintptr_t returnAddress, std::uintptr_t callerStack, std::uintptr_t callerFrame,
                        std::uintptr_t moduleBase, std::uintptr_t moduleEnd);
} // namespace Quelvo::Injection
