// The planted file's hand-written gaps (PlantedGaps.h), which no compiler makes.
//
// The object says that it was built with Control Flow Guard (@feat.00's guard flag) and brings no table of
// address-taken functions: the linker therefore takes none of its functions into the image's guard
// table, not even the one whose address .rdata holds.
        .def    @feat.00
        .scl    3
        .type   0
        .endef
        .globl  @feat.00
        .set    @feat.00, 0x800

        .section .rdata,"dr"
        .p2align 3
PlantedCodePointer:
        .quad   PlantedUnlistedTarget

        .text
        .p2align 2
        .globl  PlantedUnlistedTarget
// A function that only the pointer above names.
PlantedUnlistedTarget:
        mov     w0, #7
        ret

        .p2align 2
        .globl  PlantedUnlistedPointer
        .seh_proc PlantedUnlistedPointer
PlantedUnlistedPointer:
        .seh_endprologue
        adrp    x0, PlantedCodePointer
        ldr     x0, [x0, :lo12:PlantedCodePointer]
        ret
        .seh_endproc

        .p2align 2
// Stands where the guard's check would be called.
PlantedNotTheCheck:
        ret

        .p2align 2
        .globl  PlantedHandedToAnother
        .seh_proc PlantedHandedToAnother
// The target (x0) goes into x15 as clang hands it to the guard's check, and a register call follows at
// once, where the check's would be; but it calls another function, whose address is no load from the
// check pointer. The target is then called unchecked.
PlantedHandedToAnother:
        stp     x29, x30, [sp, #-32]!
        .seh_save_fplr_x 32
        str     x19, [sp, #16]
        .seh_save_reg x19, 16
        .seh_endprologue
        mov     x19, x0
        mov     w0, w1
        adrp    x9, PlantedNotTheCheck
        add     x9, x9, :lo12:PlantedNotTheCheck
        mov     x15, x19
        blr     x9
        blr     x19
        .seh_startepilogue
        ldr     x19, [sp, #16]
        .seh_save_reg x19, 16
        ldp     x29, x30, [sp], #32
        .seh_save_fplr_x 32
        .seh_endepilogue
        ret
        .seh_endproc

        .p2align 2
        .globl  PlantedCallWithoutUnwind
// No .seh_proc: the function has no unwind entry, so an exception raised in its callee cannot pass it.
PlantedCallWithoutUnwind:
        stp     x29, x30, [sp, #-16]!
        mov     x29, sp
        bl      PlantedNotTheCheck
        ldp     x29, x30, [sp], #16
        ret
