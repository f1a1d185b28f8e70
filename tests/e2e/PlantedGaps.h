// A program planted with one gap under each completeness rule of the executable check
// (CheckExecutable.py), for ARM64: the check must refuse it under every rule, naming each planted
// function and no other. It is only read, never run.
#pragma once

extern "C"
{
    // Unchecked by the compiler (PlantedUncheckedCalls.cpp, -mguard=cf-nochecks): an indirect call, and an
    // indirect tail branch whose register holds no switch table entry.
    int PlantedUncheckedCall(int (*target)(int), int value);
    int PlantedUncheckedTailCall(int (*target)(int), int value);

    // Hand-written (PlantedGapsArm64.S): the target handed over in x15 as for the guard's check, then another
    // function called before the target; a call from code without an unwind entry; and the address of a
    // function that no guard table lists.
    int PlantedHandedToAnother(int (*target)(int), int value);
    int PlantedCallWithoutUnwind(int value);
    const void* PlantedUnlistedPointer();
}
