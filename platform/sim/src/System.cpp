// Simulated versions, system information, registry and file version resources.
#include "Internal.h"

#include <shlobj.h>
#include <winsim/Modules.h>
#include <winsim/System.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace
{
using namespace winsim::detail;

const wchar_t* const versionKey = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

struct RegistryValue
{
    DWORD type = REG_SZ;
    std::vector<WCHAR> text; // REG_SZ with its terminating NUL
    DWORD number = 0;        // REG_DWORD
};

struct RegistryKeyObject
{
    std::wstring path; // full path with the root's name, lower case
};

struct FileVersion
{
    VS_FIXEDFILEINFO info{};
    bool fixedInfo = true;
};

// The version resource as GetFileVersionInfoW hands it out: a marker, then the fixed file information.
struct VersionBlock
{
    DWORD marker;
    DWORD hasFixedInfo;
    VS_FIXEDFILEINFO info;
};
const DWORD versionBlockMarker = 0x52455651;

struct SystemState
{
    winsim::OsVersion version;
    WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    WORD processArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    std::optional<USHORT> nativeMachine;
    std::wstring systemDirectory = L"C:\\Windows\\system32";
    std::wstring systemWow64Directory = L"C:\\Windows\\SysWOW64";
    std::wstring commonAppData = L"C:\\ProgramData";
    std::map<std::wstring, std::map<std::wstring, RegistryValue>> registry; // key path -> value name -> value
    REGSAM lastAccess = 0;
    std::map<std::wstring, FileVersion> files;
};

void Populate(SystemState& state);

// The machine starts in the state that Reset gives it, also for tests that never call Reset.
SystemState& TheSystem()
{
    static SystemState state = []
    {
        SystemState initial;
        Populate(initial);
        return initial;
    }();
    return state;
}

std::wstring RootName(HKEY root)
{
    if (root == HKEY_LOCAL_MACHINE)
    {
        return L"hkey_local_machine";
    }
    if (root == HKEY_CURRENT_USER)
    {
        return L"hkey_current_user";
    }
    if (root == HKEY_CLASSES_ROOT)
    {
        return L"hkey_classes_root";
    }
    return {};
}

std::wstring KeyPath(const std::wstring& base, const std::wstring& subKey)
{
    std::wstring path = base;
    if (!subKey.empty())
    {
        path += L"\\" + LowerAscii(subKey);
    }
    while (!path.empty() && path.back() == L'\\')
    {
        path.pop_back();
    }
    return path;
}

// The path of an open key or a predefined root; empty for a handle that is neither.
std::wstring PathOfKey(HKEY key)
{
    const auto root = RootName(key);
    if (!root.empty())
    {
        return root;
    }
    const auto object = Find<RegistryKeyObject>(key, HandleKind::RegistryKey);
    return object != nullptr ? object->path : std::wstring();
}

bool KeyExists(const std::wstring& path)
{
    const auto& registry = TheSystem().registry;
    if (registry.count(path) != 0)
    {
        return true;
    }
    // A key exists also when one below it does.
    const auto prefix = path + L"\\";
    return std::any_of(registry.begin(), registry.end(),
                       [&](const auto& entry) { return entry.first.compare(0, prefix.size(), prefix) == 0; });
}

USHORT MachineOf(WORD architecture)
{
    switch (architecture)
    {
    case PROCESSOR_ARCHITECTURE_INTEL:
        return IMAGE_FILE_MACHINE_I386;
    case PROCESSOR_ARCHITECTURE_AMD64:
        return IMAGE_FILE_MACHINE_AMD64;
    case PROCESSOR_ARCHITECTURE_ARM64:
        return IMAGE_FILE_MACHINE_ARM64;
    case PROCESSOR_ARCHITECTURE_ARM:
        return IMAGE_FILE_MACHINE_ARMNT;
    default:
        return IMAGE_FILE_MACHINE_UNKNOWN;
    }
}

bool FillVersion(OSVERSIONINFOW* record)
{
    if (record == nullptr || (record->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                              record->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW)))
    {
        return false;
    }
    const auto& version = TheSystem().version;
    record->dwMajorVersion = version.major;
    record->dwMinorVersion = version.minor;
    record->dwBuildNumber = version.build;
    record->dwPlatformId = 2; // VER_PLATFORM_WIN32_NT
    std::fill(std::begin(record->szCSDVersion), std::end(record->szCSDVersion), L'\0');
    if (version.servicePackMajor != 0)
    {
        const std::wstring text = L"Service Pack " + std::to_wstring(version.servicePackMajor);
        std::copy(text.begin(), text.end(), record->szCSDVersion);
    }
    if (record->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW))
    {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(record);
        extended->wServicePackMajor = version.servicePackMajor;
        extended->wServicePackMinor = version.servicePackMinor;
        extended->wSuiteMask = 0x0100; // VER_SUITE_SINGLEUSERTS
        extended->wProductType = version.productType;
        extended->wReserved = 0;
    }
    return true;
}

NTSTATUS NTAPI SimRtlGetVersion(OSVERSIONINFOW* record)
{
    Enter("RtlGetVersion");
    std::lock_guard guard(MachineLock());
    return FillVersion(record) ? 0 : static_cast<NTSTATUS>(0xC000000D); // STATUS_INVALID_PARAMETER
}

BOOL WINAPI SimIsWow64Process2(HANDLE process, USHORT* processMachine, USHORT* nativeMachine)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("IsWow64Process2"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    const bool pseudo = process == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
    if (!pseudo && FindHandle(reinterpret_cast<std::uintptr_t>(process), HandleKind::Process) == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (processMachine == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& state = TheSystem();
    const USHORT native = state.nativeMachine.value_or(MachineOf(state.nativeArchitecture));
    *processMachine = state.processArchitecture == state.nativeArchitecture
                          ? static_cast<USHORT>(IMAGE_FILE_MACHINE_UNKNOWN)
                          : MachineOf(state.processArchitecture);
    if (nativeMachine != nullptr)
    {
        *nativeMachine = native;
    }
    return TRUE;
}

FARPROC Export(NTSTATUS(NTAPI* function)(OSVERSIONINFOW*))
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

FARPROC Export(BOOL(WINAPI* function)(HANDLE, USHORT*, USHORT*))
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

void AddKernel32(bool withIsWow64Process2)
{
    winsim::LibraryDefinition kernel32;
    if (withIsWow64Process2)
    {
        kernel32.exports["IsWow64Process2"] = Export(&SimIsWow64Process2);
    }
    winsim::AddSystemModule(L"kernel32.dll", std::move(kernel32));
}

void FillSystemInfo(SYSTEM_INFO* info, WORD architecture)
{
    if (info == nullptr)
    {
        return;
    }
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = architecture;
    info->dwPageSize = 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(
        architecture == PROCESSOR_ARCHITECTURE_INTEL ? 0x7FFEFFFFull : 0x7FFFFFFEFFFFull));
    info->dwActiveProcessorMask = 3;
    info->dwNumberOfProcessors = 2;
    info->dwAllocationGranularity = 65536;
}

// The documented two-call protocol of the system directory functions.
UINT CopyDirectory(const char* function, const std::wstring& path, LPWSTR buffer, UINT size)
{
    if (const auto fault = Enter(function))
    {
        SetLastError(*fault);
        return 0;
    }
    if (path.empty())
    {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return 0;
    }
    if (buffer == nullptr || size <= path.size())
    {
        return static_cast<UINT>(path.size() + 1);
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    return static_cast<UINT>(path.size());
}

// Orders two versions by the fields that the type mask names, major first: -1, 0 or 1.
int CompareVersionFields(const std::vector<std::pair<DWORD, DWORD>>& fields)
{
    for (const auto& [actual, wanted] : fields)
    {
        if (actual != wanted)
        {
            return actual < wanted ? -1 : 1;
        }
    }
    return 0;
}

bool Satisfies(int order, BYTE condition)
{
    switch (condition)
    {
    case VER_EQUAL:
        return order == 0;
    case VER_GREATER:
        return order > 0;
    case VER_GREATER_EQUAL:
        return order >= 0;
    case VER_LESS:
        return order < 0;
    case VER_LESS_EQUAL:
        return order <= 0;
    default:
        return false;
    }
}

int ConditionIndex(DWORD typeBit)
{
    int index = 0;
    while (typeBit > 1)
    {
        typeBit >>= 1;
        ++index;
    }
    return index;
}

BYTE ConditionOf(DWORDLONG conditionMask, DWORD typeBit)
{
    return static_cast<BYTE>((conditionMask >> (3 * ConditionIndex(typeBit))) & 7);
}
} // namespace

namespace winsim::detail
{
void ResetSystem()
{
    TheSystem() = SystemState{};
    Populate(TheSystem());
}
} // namespace winsim::detail

namespace
{
void Populate(SystemState& state)
{
    state.registry[KeyPath(L"hkey_local_machine", versionKey)][L"editionid"] = RegistryValue{
        REG_SZ, {L'P', L'r', L'o', L'f', L'e', L's', L's', L'i', L'o', L'n', L'a', L'l', L'\0'}, 0};
    winsim::LibraryDefinition ntdll;
    ntdll.exports["RtlGetVersion"] = Export(&SimRtlGetVersion);
    winsim::AddSystemModule(L"ntdll.dll", std::move(ntdll));
    AddKernel32(true);
}
} // namespace

namespace winsim
{
void SetOsVersion(const OsVersion& version)
{
    std::lock_guard guard(MachineLock());
    TheSystem().version = version;
}

OsVersion GetOsVersion()
{
    std::lock_guard guard(MachineLock());
    return TheSystem().version;
}

void SetArchitecture(WORD nativeArchitecture, WORD processArchitecture)
{
    std::lock_guard guard(MachineLock());
    TheSystem().nativeArchitecture = nativeArchitecture;
    TheSystem().processArchitecture = processArchitecture;
}

void SetNativeMachine(USHORT machine)
{
    std::lock_guard guard(MachineLock());
    TheSystem().nativeMachine = machine;
}

void RemoveIsWow64Process2()
{
    std::lock_guard guard(MachineLock());
    AddKernel32(false);
}

void SetSystemDirectory(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    TheSystem().systemDirectory = path;
}

void SetSystemWow64Directory(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    TheSystem().systemWow64Directory = path;
}

void SetCommonAppDataDirectory(const std::wstring& path)
{
    std::lock_guard guard(MachineLock());
    TheSystem().commonAppData = path;
}

void SetRegistryString(HKEY root, const std::wstring& subKey, const std::wstring& name,
                       const std::wstring& value)
{
    std::lock_guard guard(MachineLock());
    RegistryValue stored;
    stored.type = REG_SZ;
    stored.text.assign(value.begin(), value.end());
    stored.text.push_back(L'\0');
    TheSystem().registry[KeyPath(RootName(root), subKey)][LowerAscii(name)] = stored;
}

void SetRegistryDword(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD value)
{
    std::lock_guard guard(MachineLock());
    TheSystem().registry[KeyPath(RootName(root), subKey)][LowerAscii(name)] =
        RegistryValue{REG_DWORD, {}, value};
}

void RemoveRegistryValue(HKEY root, const std::wstring& subKey, const std::wstring& name)
{
    std::lock_guard guard(MachineLock());
    auto& registry = TheSystem().registry;
    const auto it = registry.find(KeyPath(RootName(root), subKey));
    if (it != registry.end())
    {
        it->second.erase(LowerAscii(name));
    }
}

void RemoveRegistryKey(HKEY root, const std::wstring& subKey)
{
    std::lock_guard guard(MachineLock());
    const auto path = KeyPath(RootName(root), subKey);
    std::erase_if(
        TheSystem().registry, [&](const auto& entry)
        { return entry.first == path || entry.first.compare(0, path.size() + 1, path + L"\\") == 0; });
}

REGSAM LastRegistryAccess()
{
    std::lock_guard guard(MachineLock());
    return TheSystem().lastAccess;
}

void AddVersionedFile(const std::wstring& path, WORD major, WORD minor, WORD build, WORD revision,
                      bool fixedInfo)
{
    std::lock_guard guard(MachineLock());
    FileVersion file;
    file.info.dwSignature = 0xFEEF04BD;
    file.info.dwStrucVersion = 0x00010000;
    file.info.dwFileVersionMS = (static_cast<DWORD>(major) << 16) | minor;
    file.info.dwFileVersionLS = (static_cast<DWORD>(build) << 16) | revision;
    file.info.dwProductVersionMS = file.info.dwFileVersionMS;
    file.info.dwProductVersionLS = file.info.dwFileVersionLS;
    file.info.dwFileOS = 0x00040004; // VOS_NT_WINDOWS32
    file.info.dwFileType = 1;        // VFT_APP
    file.fixedInfo = fixedInfo;
    TheSystem().files[LowerAscii(path)] = file;
    AddFile(path);
}
} // namespace winsim

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW versionInformation)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetVersionExW"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    if (!FillVersion(versionInformation))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition)
{
    Enter("VerSetConditionMask");
    if (condition == 0)
    {
        return conditionMask;
    }
    for (DWORD bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1)
    {
        if ((typeMask & bit) != 0)
        {
            const int shift = 3 * ConditionIndex(bit);
            conditionMask = (conditionMask & ~(ULONGLONG{7} << shift)) | (ULONGLONG{condition & 7u} << shift);
        }
    }
    return conditionMask;
}

BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW versionInformation, DWORD typeMask, DWORDLONG conditionMask)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("VerifyVersionInfoW"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    if (versionInformation == nullptr || typeMask == 0 || conditionMask == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& actual = TheSystem().version;
    const auto& wanted = *versionInformation;
    bool satisfied = true;

    // Major, minor and service pack are one version number, compared field by field from the major one
    // with the condition of the most significant field that the mask names.
    std::vector<std::pair<DWORD, DWORD>> fields;
    BYTE versionCondition = 0;
    for (const auto& [bit, have, want] :
         {std::tuple<DWORD, DWORD, DWORD>{VER_MAJORVERSION, actual.major, wanted.dwMajorVersion},
          {VER_MINORVERSION, actual.minor, wanted.dwMinorVersion},
          {VER_SERVICEPACKMAJOR, actual.servicePackMajor, wanted.wServicePackMajor},
          {VER_SERVICEPACKMINOR, actual.servicePackMinor, wanted.wServicePackMinor}})
    {
        if ((typeMask & bit) != 0)
        {
            fields.emplace_back(have, want);
            if (versionCondition == 0)
            {
                versionCondition = ConditionOf(conditionMask, bit);
            }
        }
    }
    if (!fields.empty())
    {
        satisfied = satisfied && Satisfies(CompareVersionFields(fields), versionCondition);
    }
    const auto compareOne = [&](DWORD bit, DWORD have, DWORD want)
    {
        if ((typeMask & bit) != 0)
        {
            const int order = have == want ? 0 : (have < want ? -1 : 1);
            satisfied = satisfied && Satisfies(order, ConditionOf(conditionMask, bit));
        }
    };
    compareOne(VER_BUILDNUMBER, actual.build, wanted.dwBuildNumber);
    compareOne(VER_PLATFORMID, 2, wanted.dwPlatformId);
    compareOne(VER_PRODUCT_TYPE, actual.productType, wanted.wProductType);
    if (!satisfied)
    {
        SetLastError(ERROR_OLD_WIN_VERSION);
        return FALSE;
    }
    return TRUE;
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size)
{
    std::lock_guard guard(MachineLock());
    return CopyDirectory("GetSystemDirectoryW", TheSystem().systemDirectory, buffer, size);
}

UINT WINAPI GetSystemWow64DirectoryW(LPWSTR buffer, UINT size)
{
    std::lock_guard guard(MachineLock());
    return CopyDirectory("GetSystemWow64DirectoryW", TheSystem().systemWow64Directory, buffer, size);
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO systemInfo)
{
    std::lock_guard guard(MachineLock());
    Enter("GetNativeSystemInfo");
    FillSystemInfo(systemInfo, TheSystem().nativeArchitecture);
}

void WINAPI GetSystemInfo(LPSYSTEM_INFO systemInfo)
{
    std::lock_guard guard(MachineLock());
    Enter("GetSystemInfo");
    FillSystemInfo(systemInfo, TheSystem().processArchitecture);
}

BOOL WINAPI SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create)
{
    (void)owner;
    (void)create;
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("SHGetSpecialFolderPathW"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    std::wstring folder;
    if (csidl == CSIDL_COMMON_APPDATA)
    {
        folder = TheSystem().commonAppData;
    }
    else if (csidl == CSIDL_APPDATA)
    {
        folder = L"C:\\Users\\user\\AppData\\Roaming";
    }
    if (path == nullptr || folder.empty() || folder.size() >= MAX_PATH)
    {
        return FALSE;
    }
    std::copy(folder.begin(), folder.end(), path);
    path[folder.size()] = L'\0';
    return TRUE;
}

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result)
{
    (void)options;
    std::lock_guard guard(MachineLock());
    TheSystem().lastAccess = desired;
    if (const auto fault = Enter("RegOpenKeyExW"))
    {
        return static_cast<LSTATUS>(*fault);
    }
    if (result == nullptr)
    {
        return ERROR_INVALID_PARAMETER;
    }
    const auto base = PathOfKey(key);
    if (base.empty())
    {
        return ERROR_INVALID_HANDLE;
    }
    const auto path = KeyPath(base, subKey != nullptr ? subKey : L"");
    if (!KeyExists(path) && path != base)
    {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = Add<HKEY>(HandleKind::RegistryKey, std::make_shared<RegistryKeyObject>(RegistryKeyObject{path}),
                        "registry key " + Describe(path));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                            LPDWORD dataSize)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("RegGetValueW"))
    {
        return static_cast<LSTATUS>(*fault);
    }
    if ((flags & RRF_RT_ANY) == 0 || (data != nullptr && dataSize == nullptr))
    {
        return ERROR_INVALID_PARAMETER;
    }
    const auto base = PathOfKey(key);
    if (base.empty())
    {
        return ERROR_INVALID_HANDLE;
    }
    const auto& registry = TheSystem().registry;
    const auto keyIt = registry.find(KeyPath(base, subKey != nullptr ? subKey : L""));
    if (keyIt == registry.end())
    {
        return ERROR_FILE_NOT_FOUND;
    }
    const auto valueIt = keyIt->second.find(LowerAscii(value != nullptr ? value : L""));
    if (valueIt == keyIt->second.end())
    {
        return ERROR_FILE_NOT_FOUND;
    }
    const auto& stored = valueIt->second;
    const DWORD allowed = stored.type == REG_SZ ? RRF_RT_REG_SZ : RRF_RT_REG_DWORD;
    if ((flags & allowed) == 0)
    {
        return ERROR_UNSUPPORTED_TYPE;
    }
    if (type != nullptr)
    {
        *type = stored.type;
    }
    // Sizes are in bytes; a string counts its terminating NUL.
    const DWORD needed =
        stored.type == REG_SZ ? static_cast<DWORD>(stored.text.size() * sizeof(WCHAR)) : sizeof(DWORD);
    if (dataSize == nullptr)
    {
        return ERROR_SUCCESS;
    }
    if (data == nullptr)
    {
        *dataSize = needed;
        return ERROR_SUCCESS;
    }
    if (*dataSize < needed)
    {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    if (stored.type == REG_SZ)
    {
        std::memcpy(data, stored.text.data(), needed);
    }
    else
    {
        std::memcpy(data, &stored.number, sizeof(DWORD));
    }
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("RegCloseKey"))
    {
        return static_cast<LSTATUS>(*fault);
    }
    if (!RootName(key).empty())
    {
        return ERROR_SUCCESS;
    }
    if (!RemoveHandle(reinterpret_cast<std::uintptr_t>(key), {HandleKind::RegistryKey}, "RegCloseKey"))
    {
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    std::lock_guard guard(MachineLock());
    if (handle != nullptr)
    {
        *handle = 0;
    }
    if (const auto fault = Enter("GetFileVersionInfoSizeW"))
    {
        SetLastError(*fault);
        return 0;
    }
    if (fileName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto& files = TheSystem().files;
    if (files.count(LowerAscii(fileName)) != 0)
    {
        return sizeof(VersionBlock);
    }
    SetLastError(FileExists(fileName) ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return 0;
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data)
{
    (void)handle;
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("GetFileVersionInfoW"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    if (fileName == nullptr || (data == nullptr && length != 0))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& files = TheSystem().files;
    const auto it = files.find(LowerAscii(fileName));
    if (it == files.end())
    {
        SetLastError(FileExists(fileName) ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (data == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Too small a buffer receives as much of the resource as fits.
    const VersionBlock block{versionBlockMarker, it->second.fixedInfo ? 1u : 0u, it->second.info};
    std::memcpy(data, &block, std::min<std::size_t>(length, sizeof block));
    return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    std::lock_guard guard(MachineLock());
    if (const auto fault = Enter("VerQueryValueW"))
    {
        SetLastError(*fault);
        return FALSE;
    }
    if (block == nullptr || subBlock == nullptr || buffer == nullptr || length == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto* version = static_cast<const VersionBlock*>(block);
    if (version->marker != versionBlockMarker || std::wstring(subBlock) != L"\\" ||
        version->hasFixedInfo == 0)
    {
        *length = 0;
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&version->info);
    *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
