#include "ImportPatcher.h"

namespace Quelvo::Injection
{
namespace
{
template <typename T>
T* At(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

bool WriteSlot(void** slot, void* value)
{
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &previous))
    {
        return false;
    }
    *slot = value;
    VirtualProtect(slot, sizeof(void*), previous, &previous);
    return true;
}

// Walks the name table and the address table of one imported library side by side.
int RewriteTable(HMODULE module, const char* library, DWORD names, DWORD slots, bool delayed,
                 SlotRewrite rewrite)
{
    int rewritten = 0;
    auto* name = At<IMAGE_THUNK_DATA>(module, names);
    auto** slot = At<void*>(module, slots);
    for (; name->u1.AddressOfData != 0; ++name, ++slot)
    {
        if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal))
        {
            continue;
        }
        const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
        void* value = rewrite(library, reinterpret_cast<const char*>(byName->Name), *slot, delayed);
        if (value != nullptr && WriteSlot(slot, value))
        {
            ++rewritten;
        }
    }
    return rewritten;
}
} // namespace

int RewriteImports(HMODULE module, SlotRewrite rewrite)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = At<const IMAGE_NT_HEADERS>(module, dos->e_lfanew);
    const auto& directories = nt->OptionalHeader.DataDirectory;
    int rewritten = 0;
    if (directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress != 0)
    {
        for (auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(
                 module, directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
             entry->Name != 0; ++entry)
        {
            const DWORD names =
                entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
            rewritten += RewriteTable(module, At<const char>(module, entry->Name), names, entry->FirstThunk,
                                      false, rewrite);
        }
    }
    if (directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress != 0)
    {
        for (auto* entry = At<IMAGE_DELAYLOAD_DESCRIPTOR>(
                 module, directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress);
             entry->DllNameRVA != 0; ++entry)
        {
            rewritten += RewriteTable(module, At<const char>(module, entry->DllNameRVA),
                                      entry->ImportNameTableRVA, entry->ImportAddressTableRVA, true, rewrite);
        }
    }
    return rewritten;
}
} // namespace Quelvo::Injection
