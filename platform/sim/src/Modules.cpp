// The simulated loader: libraries scripted by tests, system modules that are always there, and module
// handles in the handle table while a library is loaded.
#include "Internal.h"

#include <winsim/Modules.h>

#include <algorithm>
#include <vector>

namespace
{
struct Library
{
    std::wstring path;
    winsim::LibraryDefinition definition;
    bool system = false;
    unsigned references = 0;
    HMODULE handle = nullptr;
    std::size_t loads = 0;
    std::size_t frees = 0;
};

struct Loader
{
    std::vector<std::shared_ptr<Library>> libraries;
    DWORD lastFlags = 0;
    std::wstring lastPath;
    std::size_t nextSystemIndex = 1; // never reused: a re-added system module must not share a handle
};

Loader& TheLoader()
{
    static Loader loader;
    return loader;
}

std::shared_ptr<Library> FindByPath(const std::wstring& path)
{
    for (const auto& library : TheLoader().libraries)
    {
        if (winsim::detail::NamesEqual(library->path, path))
        {
            return library;
        }
    }
    return nullptr;
}

std::shared_ptr<Library> FindByHandle(HMODULE module)
{
    for (const auto& library : TheLoader().libraries)
    {
        if (library->handle == module && module != nullptr)
        {
            return library;
        }
    }
    return nullptr;
}

// The file-name part of a path, for matching system modules by name.
std::wstring FileNameOf(const std::wstring& path)
{
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// System modules have fixed handles outside the handle table: they are never freed.
HMODULE SystemHandle(std::size_t index)
{
    return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7FF000000000ull + index * 0x10000));
}
} // namespace

namespace winsim
{
void AddLibrary(const std::wstring& path, LibraryDefinition definition)
{
    std::lock_guard guard(detail::MachineLock());
    RemoveLibrary(path);
    auto library = std::make_shared<Library>();
    library->path = path;
    library->definition = std::move(definition);
    TheLoader().libraries.push_back(std::move(library));
}

void RemoveLibrary(const std::wstring& path)
{
    std::lock_guard guard(detail::MachineLock());
    auto& libraries = TheLoader().libraries;
    libraries.erase(std::remove_if(libraries.begin(), libraries.end(),
                                   [&](const auto& library) {
                                       return !library->system && library->references == 0 &&
                                              detail::NamesEqual(library->path, path);
                                   }),
                    libraries.end());
}

void AddSystemModule(const std::wstring& name, LibraryDefinition definition)
{
    std::lock_guard guard(detail::MachineLock());
    RemoveSystemModule(name);
    auto library = std::make_shared<Library>();
    library->path = name;
    library->definition = std::move(definition);
    library->system = true;
    library->references = 1;
    library->handle = SystemHandle(TheLoader().nextSystemIndex++);
    TheLoader().libraries.push_back(std::move(library));
}

void RemoveSystemModule(const std::wstring& name)
{
    std::lock_guard guard(detail::MachineLock());
    auto& libraries = TheLoader().libraries;
    libraries.erase(std::remove_if(libraries.begin(), libraries.end(),
                                   [&](const auto& library)
                                   { return library->system && detail::NamesEqual(library->path, name); }),
                    libraries.end());
}

bool IsLibraryLoaded(const std::wstring& path)
{
    std::lock_guard guard(detail::MachineLock());
    const auto library = FindByPath(path);
    return library != nullptr && library->references > 0;
}

std::size_t LibraryLoadCount(const std::wstring& path)
{
    std::lock_guard guard(detail::MachineLock());
    const auto library = FindByPath(path);
    return library != nullptr ? library->loads : 0;
}

std::size_t LibraryFreeCount(const std::wstring& path)
{
    std::lock_guard guard(detail::MachineLock());
    const auto library = FindByPath(path);
    return library != nullptr ? library->frees : 0;
}

DWORD LastLoadFlags()
{
    return TheLoader().lastFlags;
}

std::wstring LastLoadPath()
{
    return TheLoader().lastPath;
}
} // namespace winsim

namespace winsim::detail
{
// System modules stay (their area puts them back in its own reset); everything loaded is forgotten.
void ResetLoader()
{
    auto& loader = TheLoader();
    std::erase_if(loader.libraries, [](const auto& library) { return !library->system; });
    loader.lastFlags = 0;
    loader.lastPath.clear();
}

std::wstring ModulePath(HMODULE module)
{
    std::lock_guard guard(MachineLock());
    const auto library = FindByHandle(module);
    return library != nullptr ? library->path : std::wstring();
}
} // namespace winsim::detail

HMODULE WINAPI LoadLibraryExW(LPCWSTR fileName, HANDLE file, DWORD flags)
{
    using namespace winsim::detail;
    std::function<void()> attach;
    HMODULE handle = nullptr;
    {
        std::lock_guard guard(MachineLock());
        if (const auto fault = Enter("LoadLibraryExW"))
        {
            SetLastError(*fault);
            return nullptr;
        }
        if (fileName == nullptr || file != nullptr)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto& loader = TheLoader();
        loader.lastFlags = flags;
        loader.lastPath = fileName;
        const auto library = FindByPath(fileName);
        if (library == nullptr || library->system)
        {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        ++library->loads;
        if (library->references++ == 0)
        {
            library->handle = Add<HMODULE>(HandleKind::Module, library, "module " + Describe(library->path));
            attach = library->definition.onAttach;
        }
        handle = library->handle;
    }
    if (attach)
    {
        attach();
    }
    return handle;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName)
{
    using namespace winsim::detail;
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetProcAddress"))
    {
        SetLastError(*fault);
        return nullptr;
    }
    const auto library = FindByHandle(module);
    if (library == nullptr || library->references == 0)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const auto it =
        procName != nullptr ? library->definition.exports.find(procName) : library->definition.exports.end();
    if (it == library->definition.exports.end() || it->second == nullptr)
    {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    using namespace winsim::detail;
    std::function<void()> detach;
    {
        std::lock_guard guard(MachineLock());
        if (const auto fault = Enter("FreeLibrary"))
        {
            SetLastError(*fault);
            return FALSE;
        }
        const auto library = FindByHandle(module);
        if (library == nullptr || library->system || library->references == 0)
        {
            RemoveHandle(reinterpret_cast<std::uintptr_t>(module), {HandleKind::Module}, "FreeLibrary");
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        ++library->frees;
        if (--library->references == 0)
        {
            RemoveHandle(reinterpret_cast<std::uintptr_t>(module), {HandleKind::Module}, "FreeLibrary");
            library->handle = nullptr;
            detach = library->definition.onDetach;
        }
    }
    if (detach)
    {
        detach();
    }
    return TRUE;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName)
{
    using namespace winsim::detail;
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetModuleHandleW"))
    {
        SetLastError(*fault);
        return nullptr;
    }
    if (moduleName == nullptr)
    {
        return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x140000000ull)); // the executable
    }
    for (const auto& library : TheLoader().libraries)
    {
        if (library->references > 0 &&
            (NamesEqual(library->path, moduleName) || NamesEqual(FileNameOf(library->path), moduleName)))
        {
            return library->handle;
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
