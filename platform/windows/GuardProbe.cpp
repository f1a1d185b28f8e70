// A probe of the validating Control Flow Guard build: one indirect call, to the target its argument
// names, then exit code 0. Where the validation refuses the target the process ends with __fastfail
// instead (0xC0000409).
//   guard_probe own           the start of a function of its own
//   guard_probe own+16        16 bytes into that function
//   guard_probe library DLL   the start of the DLL's first export (the check only: nothing of the DLL runs)
//   guard_probe library+16 DLL
//   guard_probe system+16     16 bytes into a function of kernel32 (the check only)
//   guard_probe heap          a block of the heap (the check only)
//   guard_probe runtime       the C++ runtime's own calls: a stream calls its buffer's overflow(), which
//                             throws through the runtime's frames to a catch here (exit 0 when caught)
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>

extern "C" void (*const __guard_check_icall_fptr)(std::uintptr_t);

namespace
{
// Long enough that 16 bytes in is still inside it; its address is taken, so it is in the guard table.
__attribute__((noinline)) int Probe(int value)
{
    volatile int sum = value;
    for (volatile int i = 0; i < 4; i = i + 1)
    {
        sum = sum + i;
    }
    return sum - value - 6;
}

// Every write fails by throwing. The runtime calls overflow() from inside its own inserter, which
// catches the exception, sets badbit and, as the stream asks, throws it on: both throws pass through
// frames of the runtime, which unwinding must know.
class ThrowingBuffer final : public std::streambuf
{
protected:
    int_type overflow(int_type) override { throw std::runtime_error("overflow"); }
};

int ThrowThroughRuntime()
{
    ThrowingBuffer buffer;
    std::ostream stream(&buffer);
    stream.exceptions(std::ios::badbit);
    try
    {
        stream << std::string(64, 'x');
    }
    catch (const std::runtime_error&)
    {
        return 0;
    }
    return ERROR_INVALID_FUNCTION;
}

// Hands the target to the guard's check as the compiler's instrumentation does: as the first argument on
// x64, in x15 on ARM64, where the check keeps only the argument registers and the callee-saved ones.
void CheckCallTarget(std::uintptr_t target)
{
#if defined(__aarch64__)
    register std::uintptr_t checked __asm__("x15") = target;
    __asm__ __volatile__("blr %1"
                         : "+r"(checked)
                         : "r"(__guard_check_icall_fptr)
                         : "x9", "x10", "x11", "x12", "x13", "x14", "x16", "x17", "x30", "v8", "v9", "v10",
                           "v11", "v12", "v13", "v14", "v15", "v16", "v17", "v18", "v19", "v20", "v21", "v22",
                           "v23", "v24", "v25", "v26", "v27", "v28", "v29", "v30", "v31", "cc", "memory");
#else
    __guard_check_icall_fptr(target);
#endif
}

std::uintptr_t FirstExport(const wchar_t* path)
{
    const HMODULE library = LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (library == nullptr)
    {
        ExitProcess(GetLastError());
    }
    const auto* image = reinterpret_cast<const BYTE*>(library);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const auto& directory = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image + directory.VirtualAddress);
    if (directory.VirtualAddress == 0 || exports->NumberOfFunctions == 0)
    {
        ExitProcess(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<std::uintptr_t>(image) +
           reinterpret_cast<const DWORD*>(image + exports->AddressOfFunctions)[0];
}
} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    const std::unique_ptr<PWSTR, decltype(&LocalFree)> arguments(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    const wchar_t* target = count > 1 ? arguments.get()[1] : L"";
    const wchar_t* library = count > 2 ? arguments.get()[2] : L"";
    if (std::wcscmp(target, L"own") == 0 || std::wcscmp(target, L"own+16") == 0)
    {
        auto* volatile function = &Probe;
        if (target[3] == L'+')
        {
            function = reinterpret_cast<int (*)(int)>(reinterpret_cast<std::uintptr_t>(function) + 16);
        }
        return function(1);
    }
    if (std::wcscmp(target, L"runtime") == 0)
    {
        return ThrowThroughRuntime();
    }
    std::uintptr_t address = 0;
    const std::unique_ptr<int> block(new int(0));
    if (std::wcscmp(target, L"library") == 0 || std::wcscmp(target, L"library+16") == 0)
    {
        address = FirstExport(library) + (target[7] == L'+' ? 16 : 0);
    }
    else if (std::wcscmp(target, L"system+16") == 0)
    {
        address = reinterpret_cast<std::uintptr_t>(&GetTickCount) + 16;
    }
    else if (std::wcscmp(target, L"heap") == 0)
    {
        address = reinterpret_cast<std::uintptr_t>(block.get());
    }
    else
    {
        return ERROR_INVALID_PARAMETER;
    }
    CheckCallTarget(address);
    return 0;
}
