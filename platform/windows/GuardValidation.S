// The check and dispatch of the validating Control Flow Guard build (GuardValidation.cpp), in place of
// the pass-through ones of ControlFlowGuard.S, in the same non-writable section.
//
// Both keep every register that the call's target may read, the arguments of the x64 and vectorcall
// conventions (rcx, rdx, r8, r9, xmm0-xmm5) and the scratch registers r10, r11 and rax, and call the
// validation with 16-byte stack alignment and home space; the frames are described to the unwinder.

        .section .00cfg,"dr"
        .p2align 3
        .globl  __guard_check_icall_fptr
__guard_check_icall_fptr:
        .quad   quelvo_guard_check_icall_validating
        .globl  __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
        .quad   quelvo_guard_dispatch_icall_validating

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
