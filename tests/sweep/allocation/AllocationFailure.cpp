// The allocation sweep's replacement of the global operator new and delete, in all their forms, on top
// of malloc, aligned_alloc and free; linked into the allocation sweep's program alone.
#include "sweep/allocation/AllocationFailure.h"

#include "support/FakeProduct.h"

#include <winsim/Control.h>

#include <cstdlib>
#include <new>

namespace Quelvo::testing::sweep
{
namespace
{
// Per thread, so that nothing but the armed thread is touched; trivially initialised, so that reading
// it from operator new allocates nothing.
struct State
{
    bool armed = false;
    std::size_t failAt = 0;
    AllocationFailure::Mode mode = AllocationFailure::Mode::Once;
    std::size_t counted = 0;
    std::size_t failed = 0;
};

thread_local State state;
} // namespace

void AllocationFailure::Arm(std::size_t nth, Mode mode)
{
    state = State{true, nth, mode, 0, 0};
}

void AllocationFailure::Disarm()
{
    state.armed = false;
}

std::size_t AllocationFailure::Counted()
{
    return state.counted;
}

std::size_t AllocationFailure::Failed()
{
    return state.failed;
}

bool AllocationFailure::Fails() noexcept
{
    if (!state.armed || winsim::InsideMachine() || FakeProduct::IsRunning())
    {
        return false;
    }
    const std::size_t number = ++state.counted;
    const bool fails = state.failAt != 0 &&
                       (number == state.failAt || (state.mode == Mode::FromThereOn && number > state.failAt));
    if (fails)
    {
        ++state.failed;
    }
    return fails;
}
} // namespace Quelvo::testing::sweep

namespace
{
using Quelvo::testing::sweep::AllocationFailure;

// aligned_alloc wants a size that is a multiple of the alignment.
std::size_t RoundedUp(std::size_t size, std::size_t alignment)
{
    return (size + alignment - 1) / alignment * alignment;
}

// One allocation as the standard's operator new makes it: a failed one calls the new handler and tries
// again, and without a handler is a failure. An injected failure is a failure at once.
void* Allocate(std::size_t size, std::size_t alignment)
{
    if (AllocationFailure::Fails())
    {
        return nullptr;
    }
    const std::size_t bytes = size == 0 ? 1 : size;
    for (;;)
    {
        void* memory = alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__
                           ? std::malloc(bytes)
                           : std::aligned_alloc(alignment, RoundedUp(bytes, alignment));
        if (memory != nullptr)
        {
            return memory;
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr)
        {
            return nullptr;
        }
        handler();
    }
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void* memory = Allocate(size, alignment))
    {
        return memory;
    }
    throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size, std::size_t alignment) noexcept
{
    try
    {
        return Allocate(size, alignment);
    }
    catch (...)
    {
        return nullptr; // a new handler that gave up
    }
}

constexpr std::size_t kDefault = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
} // namespace

void* operator new(std::size_t size)
{
    return AllocateOrThrow(size, kDefault);
}
void* operator new[](std::size_t size)
{
    return AllocateOrThrow(size, kDefault);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size, kDefault);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size, kDefault);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return AllocateOrNull(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept
{
    std::free(memory);
}
