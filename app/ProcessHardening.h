// Hardening of the process itself, done before the tool does anything else.
#pragma once

namespace Quelvo
{
// Narrows where the process looks for a DLL named without a path: from now on only the program's own
// folder, System32 and folders added on purpose, never the current directory or PATH. Defence in depth,
// found at run time, since older Windows lacks it: when it is missing or fails, the process goes on as
// it was, and nothing the tool does or returns changes, its thread's last error included.
// No image-load policy is set: the product's client library runs in this process, and System32's copy
// of a DLL it imports by name must not replace the one the product ships beside it.
void HardenDllSearch() noexcept;
} // namespace Quelvo
