// Hardening of the process itself, done before the tool does anything else.
#pragma once

namespace Quelvo
{
// Narrows where the process looks for a DLL named without a path: from now on only the program's own
// folder, System32 and folders added on purpose, never the current directory or PATH; and Windows is
// asked to take a system DLL's name from System32 before the program's folder. Both are defence in
// depth and are found at run time, since older Windows lacks them: when either is missing or fails,
// the process goes on as it was, and nothing the tool does or returns changes.
void HardenDllSearch() noexcept;
} // namespace Quelvo
