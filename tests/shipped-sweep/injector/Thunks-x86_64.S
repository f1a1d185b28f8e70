// One entry per row of the conventions table, 16 bytes apart: each puts its row in r10 and goes to the
// common part, which saves the argument registers, asks QuelvoDecideCall what to do and then either
// jumps to the real function with the registers and stack as the caller left them, or returns the
// failure value. The caller's return address, stack pointer and frame pointer go to the decision, which
// names the call site by them.
    .intel_syntax noprefix
    .text

    .globl quelvo_thunks
    .p2align 4
quelvo_thunks:
    .set row, 0
    .rept QUELVO_THUNK_COUNT
    .p2align 4
    mov r10d, row
    jmp quelvo_thunk_common
    .set row, row + 1
    .endr

// Frame: 0x00 shadow space, 0x20 fifth argument, 0x28-0x40 rcx rdx r8 r9, 0x48 the decision's output,
// 0x50-0x80 xmm0-xmm3; the caller's return address at 0x98.
    .p2align 4
quelvo_thunk_common:
    sub rsp, 0x98
    mov [rsp + 0x28], rcx
    mov [rsp + 0x30], rdx
    mov [rsp + 0x38], r8
    mov [rsp + 0x40], r9
    movaps [rsp + 0x50], xmm0
    movaps [rsp + 0x60], xmm1
    movaps [rsp + 0x70], xmm2
    movaps [rsp + 0x80], xmm3
    mov ecx, r10d
    mov rdx, [rsp + 0x98]
    lea r8, [rsp + 0xA0]
    mov r9, rbp
    lea rax, [rsp + 0x48]
    mov [rsp + 0x20], rax
    call QuelvoDecideCall
    mov rcx, [rsp + 0x28]
    mov rdx, [rsp + 0x30]
    mov r8, [rsp + 0x38]
    mov r9, [rsp + 0x40]
    movaps xmm0, [rsp + 0x50]
    movaps xmm1, [rsp + 0x60]
    movaps xmm2, [rsp + 0x70]
    movaps xmm3, [rsp + 0x80]
    mov r10, [rsp + 0x48]
    add rsp, 0x98
    test eax, eax
    jnz 1f
    jmp r10
1:
    mov rax, r10
    ret
