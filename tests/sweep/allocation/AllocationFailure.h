// Control of the global operator new of the allocation sweep (AllocationFailure.cpp replaces every form
// of it in that one test program): counts the tool's allocations while armed and fails a chosen one, as
// std::bad_alloc (or null from the nothrow forms). Disarmed, it is plain malloc and free.
//
// Only the tool's own allocations count: those the simulated Windows or the fake product library make
// while the tool calls into them are theirs, and no Windows call or product operation throws into its
// caller; they are neither counted nor failed.
#pragma once

#include <cstddef>

namespace Quelvo::testing::sweep
{
class AllocationFailure
{
public:
    enum class Mode
    {
        Once,        // the chosen allocation fails, later ones succeed
        FromThereOn, // the chosen allocation and every one after it fail
    };

    // Counts from now on and fails the `nth` counted allocation (1 is the next one); 0 fails none.
    static void Arm(std::size_t nth, Mode mode);
    static void Disarm();

    // Allocations counted, and those failed, since the last Arm.
    static std::size_t Counted();
    static std::size_t Failed();

    // Asked by operator new: counts this allocation and tells whether it is to fail.
    static bool Fails() noexcept;
};

// Armed for one scope.
class ArmedAllocationFailure
{
public:
    ArmedAllocationFailure(std::size_t nth, AllocationFailure::Mode mode)
    {
        AllocationFailure::Arm(nth, mode);
    }
    ~ArmedAllocationFailure() { AllocationFailure::Disarm(); }
    ArmedAllocationFailure(const ArmedAllocationFailure&) = delete;
    ArmedAllocationFailure& operator=(const ArmedAllocationFailure&) = delete;
};
} // namespace Quelvo::testing::sweep
