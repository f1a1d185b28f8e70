#include "sdk/ClientLibrary.h"

#include "base/CheckedArithmetic.h"
#include "base/ExitCodes.h"
#include "process/ModuleFileName.h"
#include "sdk/Sdk.h"

#include <windows.h>

#include <exception>
#include <limits>
#include <new>

namespace Quelvo::EndpointProtectionSdk
{
namespace
{
// The one loaded instance of the library; the tool has a single thread.
struct LoadedLibrary
{
    HMODULE module = nullptr;
    FactoryFunction factory = nullptr;
    bool loaded = false;
};

LoadedLibrary& Library()
{
    static LoadedLibrary library;
    return library;
}

// A null result is a failure even when the loader left no last error behind.
std::uint32_t FailureCode()
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : kNoClient;
}

// The directory of the running executable, up to and including its last backslash.
std::wstring ExecutableDirectory()
{
    // Doubles from MAX_PATH for as long as the name does not fit.
    constexpr ModuleFileNameGrowth growth{MAX_PATH,
                                          [](DWORD size, DWORD) { return CheckedMul<DWORD>(size, 2); },
                                          std::numeric_limits<DWORD>::max()};
    const ModuleFileNameRead read = ReadModuleFileName(nullptr, growth);
    const std::wstring path = read.buffer.substr(0, read.buffer.find(L'\0'));
    const auto backslash = path.rfind(L'\\');
    return backslash == std::wstring::npos ? std::wstring() : path.substr(0, backslash + 1);
}
} // namespace

std::uint32_t LoadClientLibrary(const std::optional<std::wstring>& directory)
{
    auto& library = Library();
    if (library.loaded)
    {
        return ERROR_SUCCESS;
    }
    try
    {
        const std::wstring folder =
            directory.has_value() && !directory->empty() ? *directory : ExecutableDirectory();
        const std::wstring path = folder + kClientLibraryName;

        library.module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
        if (library.module == nullptr)
        {
            return FailureCode();
        }
        const FARPROC proc = GetProcAddress(library.module, kFactoryExportName);
        library.factory = reinterpret_cast<FactoryFunction>(reinterpret_cast<void (*)()>(proc));
        if (library.factory == nullptr)
        {
            return FailureCode();
        }
        library.loaded = true;
        return ERROR_SUCCESS;
    }
    catch (const std::bad_alloc&)
    {
        // Out of memory is no missing client: the action reports it as such. Nothing is loaded yet, as
        // only the path is allocated.
        throw;
    }
    catch (const std::exception&)
    {
        return kNoClient;
    }
}

bool UnloadClientLibrary()
{
    if (Sdk::LiveObjectCount() > 0)
    {
        return false;
    }
    auto& library = Library();
    if (library.module != nullptr)
    {
        FreeLibrary(library.module);
        library.module = nullptr;
    }
    library.factory = nullptr;
    library.loaded = false;
    return true;
}

IFactory* AcquireFactory()
{
    if (Sdk::LiveObjectCount() == 0 && LoadClientLibrary() != ERROR_SUCCESS)
    {
        return nullptr;
    }
    const FactoryFunction factory = Library().factory;
    return factory != nullptr ? factory() : nullptr;
}

bool IsClientLibraryLoaded()
{
    return Library().loaded;
}
} // namespace Quelvo::EndpointProtectionSdk
