// The planted file's entry, which reaches every planted gap (so that the linker keeps them), and a switch
// whose register branch reads a jump table: the check must follow that table and accept the branch.
#include "tests/e2e/PlantedGaps.h"

#include <windows.h>

#include <cwchar>

namespace
{
__attribute__((noinline)) int Increment(int value)
{
    return value + 1;
}

// Each case calls a function of its own, so that the switch stays a jump table rather than a table of
// values.
__attribute__((noinline)) int Twice(int value)
{
    return value * 2;
}

__attribute__((noinline)) int Negated(int value)
{
    return -value;
}

__attribute__((noinline)) int Squared(int value)
{
    return value * value;
}

__attribute__((noinline)) int Halved(int value)
{
    return value / 2;
}
} // namespace

extern "C" __attribute__((noinline)) int PlantedSwitch(int which, int value)
{
    switch (which)
    {
    case 0:
        return Increment(value);
    case 1:
        return Twice(value) + 2;
    case 2:
        return Negated(value) * 3;
    case 3:
        return Squared(value) - 7;
    case 4:
        return Halved(value) ^ 5;
    default:
        return 0;
    }
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    // From the command line, so that no call below can be resolved while compiling.
    const int which = static_cast<int>(std::wcslen(commandLine));
    int result = PlantedSwitch(which, which);
    result += PlantedUncheckedCall(&Increment, which);
    result += PlantedUncheckedTailCall(&Increment, which);
    result += PlantedHandedToAnother(&Increment, which);
    result += PlantedCallWithoutUnwind(which);
    return result + (PlantedUnlistedPointer() != nullptr ? 1 : 0);
}
