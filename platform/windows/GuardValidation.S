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
        push    %rax
        .seh_pushreg %rax
        push    %rcx
        .seh_pushreg %rcx
        push    %rdx
        .seh_pushreg %rdx
        push    %r8
        .seh_pushreg %r8
        push    %r9
        .seh_pushreg %r9
        push    %r10
        .seh_pushreg %r10
        push    %r11
        .seh_pushreg %r11
        sub     $0x80, %rsp
        .seh_stackalloc 0x80
        movdqa  %xmm0, 0x20(%rsp)
        .seh_savexmm %xmm0, 0x20
        movdqa  %xmm1, 0x30(%rsp)
        .seh_savexmm %xmm1, 0x30
        movdqa  %xmm2, 0x40(%rsp)
        .seh_savexmm %xmm2, 0x40
        movdqa  %xmm3, 0x50(%rsp)
        .seh_savexmm %xmm3, 0x50
        movdqa  %xmm4, 0x60(%rsp)
        .seh_savexmm %xmm4, 0x60
        movdqa  %xmm5, 0x70(%rsp)
        .seh_savexmm %xmm5, 0x70
        .seh_endprologue
.endm

.macro  restore_call_registers
        movdqa  0x20(%rsp), %xmm0
        movdqa  0x30(%rsp), %xmm1
        movdqa  0x40(%rsp), %xmm2
        movdqa  0x50(%rsp), %xmm3
        movdqa  0x60(%rsp), %xmm4
        movdqa  0x70(%rsp), %xmm5
        add     $0x80, %rsp
        pop     %r11
        pop     %r10
        pop     %r9
        pop     %r8
        pop     %rdx
        pop     %rcx
        pop     %rax
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
