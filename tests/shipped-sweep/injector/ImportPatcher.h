// Rewrites a module's import address slots: those of its import table and, separately, of its
// delay-load table, each found by the imported function's name.
#pragma once

#include <windows.h>

namespace Quelvo::Injection
{
// Called for each slot imported by name; returns the value to write there, or null to leave it.
using SlotRewrite = void* (*)(const char* library, const char* name, void* current, bool delayed);

// Returns the number of slots rewritten.
int RewriteImports(HMODULE module, SlotRewrite rewrite);
} // namespace Quelvo::Injection
