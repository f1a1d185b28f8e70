#include "StackHash.h"

#include <windows.h>

namespace Quelvo::Injection
{
namespace
{
constexpr int kMaxFrames = 32;

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value)
{
    for (int byte = 0; byte < 8; ++byte)
    {
        hash = (hash ^ ((value >> (byte * 8)) & 0xFF)) * 0x100000001B3ull;
    }
    return hash;
}

#if defined(__aarch64__) || defined(_M_ARM64)
std::uintptr_t& ProgramCounter(CONTEXT& context)
{
    return reinterpret_cast<std::uintptr_t&>(context.Pc);
}
void Start(CONTEXT& context, std::uintptr_t pc, std::uintptr_t sp, std::uintptr_t fp)
{
    context.Pc = pc;
    context.Sp = sp;
    context.Fp = fp;
    context.Lr = 0;
}
void UnwindLeaf(CONTEXT& context)
{
    context.Pc = context.Lr;
}
#else
std::uintptr_t& ProgramCounter(CONTEXT& context)
{
    return reinterpret_cast<std::uintptr_t&>(context.Rip);
}
void Start(CONTEXT& context, std::uintptr_t pc, std::uintptr_t sp, std::uintptr_t fp)
{
    context.Rip = pc;
    context.Rsp = sp;
    context.Rbp = fp;
}
void UnwindLeaf(CONTEXT& context)
{
    context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
    context.Rsp += 8;
}
#endif
} // namespace

std::uint64_t StackHash(std::uintptr_t returnAddress, std::uintptr_t callerStack, std::uintptr_t callerFrame,
                        std::uintptr_t moduleBase, std::uintptr_t moduleEnd)
{
    CONTEXT context{};
    Start(context, returnAddress, callerStack, callerFrame);
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (int frame = 0; frame < kMaxFrames; ++frame)
    {
        const std::uintptr_t pc = ProgramCounter(context);
        if (pc < moduleBase || pc >= moduleEnd)
        {
            break;
        }
        hash = Mix(hash, pc - moduleBase);
        DWORD64 imageBase = 0;
        const auto function = RtlLookupFunctionEntry(pc, &imageBase, nullptr);
        if (function == nullptr)
        {
            UnwindLeaf(context);
            continue;
        }
        void* handlerData = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, pc, function, &context, &handlerData, &establisher,
                         nullptr);
    }
    return hash;
}
} // namespace Quelvo::Injection
