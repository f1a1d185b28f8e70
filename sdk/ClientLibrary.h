// Loading of the product's client library from the tool's own directory, on demand.
#pragma once

#include "sdk/EndpointProtectionSdk.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Quelvo::EndpointProtectionSdk
{
// Loads the library from `directory` (the executable's own directory when none or empty is given) and
// resolves its export. 0 when loaded (or already loaded), otherwise a nonzero Win32 code.
std::uint32_t LoadClientLibrary(const std::optional<std::wstring>& directory = std::nullopt);

// Frees the library unless SDK objects are still alive; true when it was released.
bool UnloadClientLibrary();

// The library's factory, loading the library first when no SDK object is alive; null on failure.
IFactory* AcquireFactory();

// Whether the library is loaded and its export resolved.
bool IsClientLibraryLoaded();
} // namespace Quelvo::EndpointProtectionSdk
