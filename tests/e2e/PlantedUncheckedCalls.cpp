// The planted file's indirect calls that reach their targets unchecked: this file is compiled with
// -mguard=cf-nochecks, which keeps the guard's tables but leaves out the check before each call.
#include "tests/e2e/PlantedGaps.h"

extern "C" int PlantedUncheckedCall(int (*target)(int), int value)
{
    return target(value) + 1; // used after the call: a call (blr), not a tail branch
}

extern "C" int PlantedUncheckedTailCall(int (*target)(int), int value)
{
    return target(value + 1); // a register branch (br) that reads no switch table
}
