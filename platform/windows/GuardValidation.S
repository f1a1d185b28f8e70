// The check and dispatch of the validating Control Flow Guard build (GuardValidation.cpp), in place of
// the pass-through ones of ControlFlowGuard.S, in the same non-writable section.
//
// Both keep every register that the call's target may read and call the validation with the stack
// aligned as the convention wants; the frames are described to the unwinder.

        .section .00cfg,"dr"
        .p2align 3
        .globl  __guard_check_icall_fptr
__guard_check_icall_fptr:
        .quad   quelvo_guard_check_icall_validating
        .globl  __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
        .quad   quelvo_guard_dispatch_icall_validating

#if defined(__x86_64__)
// x64: the arguments of the x64 and vectorcall conventions (rcx, rdx, r8, r9, xmm0-xmm5) and the scratch
// registers r10, r11 and rax are kept, and the validation gets its home space.
// Entered with rsp 8 past a 16-byte boundary; seven pushes and 0x80 bytes leave it on one.
.macro  save_call_registers
.irp    register, rax, rcx, rdx, r8, r9, r10, r11
        push    %\register
        .seh_pushreg %\register
.endr
        sub     $0x80, %rsp
        .seh_stackalloc 0x80
.irp    index, 0, 1, 2, 3, 4, 5
        movdqa  %xmm\index, 0x20+16*\index(%rsp)
        .seh_savexmm %xmm\index, 0x20+16*\index
.endr
        .seh_endprologue
.endm

.macro  restore_call_registers
.irp    index, 0, 1, 2, 3, 4, 5
        movdqa  0x20+16*\index(%rsp), %xmm\index
.endr
        add     $0x80, %rsp
.irp    register, r11, r10, r9, r8, rdx, rcx, rax
        pop     %\register
.endr
.endm

        .text
        .p2align 4
        .def    quelvo_guard_check_icall_validating
        .scl    3
        .type   32
        .endef
        .seh_proc quelvo_guard_check_icall_validating
// The target is in rcx.
quelvo_guard_check_icall_validating:
        save_call_registers
        call    quelvo_guard_validate_call_target
        restore_call_registers
        ret
        .seh_endproc

        .p2align 4
        .def    quelvo_guard_dispatch_icall_validating
        .scl    3
        .type   32
        .endef
        .seh_proc quelvo_guard_dispatch_icall_validating
// The target is in rax: validated, then jumped to.
quelvo_guard_dispatch_icall_validating:
        save_call_registers
        mov     %rax, %rcx
        call    quelvo_guard_validate_call_target
        restore_call_registers
        rex64 jmp *%rax
        .seh_endproc
#elif defined(__aarch64__)
// ARM64: what the check must keep for the call that follows it, the argument registers x0-x7, q0-q7 and
// the indirect-result register x8; and x9, the dispatch's target. Only the frame record needs unwind
// codes: none of the others is restored when a frame is unwound.
// Stores (stp) or loads (ldp) those registers, in one layout for both.
.macro  call_registers pair
        \pair   x0, x1, [sp, #0]
        \pair   x2, x3, [sp, #16]
        \pair   x4, x5, [sp, #32]
        \pair   x6, x7, [sp, #48]
        \pair   x8, x9, [sp, #64]
        \pair   q0, q1, [sp, #80]
        \pair   q2, q3, [sp, #112]
        \pair   q4, q5, [sp, #144]
        \pair   q6, q7, [sp, #176]
.endm

.macro  validate target
        stp     x29, x30, [sp, #-16]!
        .seh_save_fplr_x 16
        sub     sp, sp, #208
        .seh_stackalloc 208
        .seh_endprologue
        call_registers stp
        mov     x0, \target
        bl      quelvo_guard_validate_call_target
        call_registers ldp
        .seh_startepilogue
        add     sp, sp, #208
        .seh_stackalloc 208
        ldp     x29, x30, [sp], #16
        .seh_save_fplr_x 16
        .seh_endepilogue
.endm

        .text
        .p2align 2
        .def    quelvo_guard_check_icall_validating
        .scl    3
        .type   32
        .endef
        .seh_proc quelvo_guard_check_icall_validating
// The target is in x15.
quelvo_guard_check_icall_validating:
        validate x15
        ret
        .seh_endproc

        .p2align 2
        .def    quelvo_guard_dispatch_icall_validating
        .scl    3
        .type   32
        .endef
        .seh_proc quelvo_guard_dispatch_icall_validating
// The target is in x9 (the dispatch form, which clang does not emit for ARM64): validated, then jumped to.
quelvo_guard_dispatch_icall_validating:
        validate x9
        br      x9
        .seh_endproc
#else
#error "the validating guard: an architecture without a check and dispatch here"
#endif
