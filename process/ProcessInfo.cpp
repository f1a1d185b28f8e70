#include "process/ProcessInfo.h"

#include "base/CheckedArithmetic.h"
#include "base/TextConversion.h"
#include "base/Win32Error.h"
#include "base/WinHandle.h"
#include "process/ModuleFileName.h"

#include <windows.h>

#include <algorithm>

namespace Quelvo
{
namespace
{
const DWORD kInitialPathSize = MAX_PATH;
const DWORD kMaximumPathSize = 32767;

// The text of a buffer up to its first NUL.
std::wstring TextOf(const std::wstring& buffer)
{
    return buffer.substr(0, buffer.find(L'\0'));
}

// The path of the running executable. The buffer grows until the whole path fits, up to the longest
// path Windows has: the first retry gets room for the reported count and a NUL, later ones double.
std::wstring ReadOwnImagePath()
{
    constexpr ModuleFileNameGrowth growth{kInitialPathSize,
                                          [](DWORD size, DWORD count) {
                                              return size == kInitialPathSize ? CheckedAdd<DWORD>(count, 1)
                                                                              : CheckedMul<DWORD>(size, 2);
                                          },
                                          kMaximumPathSize};
    const ModuleFileNameRead read = ReadModuleFileName(nullptr, growth);
    if (read.count == 0)
    {
        ThrowWin32Error(read.error, "Failed to get the correct path");
    }
    if (read.error == ERROR_INSUFFICIENT_BUFFER)
    {
        ThrowWin32Error(ERROR_FILENAME_EXCED_RANGE, "Failed to get the correct path");
    }
    return TextOf(read.buffer);
}

std::wstring ReadOtherImagePath(std::uint32_t processId)
{
    WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId), &CloseKernelHandle);
    if (!process.IsValid())
    {
        ThrowLastError("Failed to open process");
    }
    DWORD bufferSize = kInitialPathSize;
    for (;;)
    {
        std::wstring buffer(bufferSize, L'\0');
        DWORD size = bufferSize;
        if (QueryFullProcessImageNameW(process.Get(), 0, buffer.data(), &size))
        {
            return TextOf(buffer);
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || bufferSize >= kMaximumPathSize)
        {
            ThrowWin32Error(error, "Failed to open process");
        }
        bufferSize = std::min(CheckedMul<DWORD>(bufferSize, 2), kMaximumPathSize);
    }
}
} // namespace

ProcessInfo::ProcessInfo(std::uint32_t processId) : m_processId(processId)
{
    m_imagePath = processId == GetCurrentProcessId() ? ReadOwnImagePath() : ReadOtherImagePath(processId);
}

std::uint32_t ProcessInfo::GetProcessId() const
{
    return m_processId;
}

std::wstring ProcessInfo::GetImagePath() const
{
    return m_imagePath;
}

std::string ProcessInfo::GetImagePathUtf8() const
{
    return Utf8FromUtf16(m_imagePath);
}
} // namespace Quelvo
