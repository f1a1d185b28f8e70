// One entry per row of the conventions table, 8 bytes apart: each puts its row in x16 and goes to the
// common part, which saves the argument registers (x0-x8, q0-q7), asks QuelvoDecideCall what to do and
// then either branches to the real function with the registers and stack as the caller left them, or
// returns the failure value. The caller's return address (x30), stack pointer and frame pointer go to
// the decision, which names the call site by them.
    .text

    .globl quelvo_thunks
    .p2align 3
quelvo_thunks:
    .set row, 0
    .rept QUELVO_THUNK_COUNT
    movz x16, #row
    b quelvo_thunk_common
    .set row, row + 1
    .endr

// Frame: 0 x29 x30, 16-64 x0-x7, 80 x8, 88 the decision's output, 96-192 q0-q7.
    .p2align 2
quelvo_thunk_common:
    stp x29, x30, [sp, #-224]!
    mov x29, sp
    stp x0, x1, [sp, #16]
    stp x2, x3, [sp, #32]
    stp x4, x5, [sp, #48]
    stp x6, x7, [sp, #64]
    str x8, [sp, #80]
    stp q0, q1, [sp, #96]
    stp q2, q3, [sp, #128]
    stp q4, q5, [sp, #160]
    stp q6, q7, [sp, #192]
    mov w0, w16
    mov x1, x30
    add x2, sp, #224
    ldr x3, [sp]
    add x4, sp, #88
    bl QuelvoDecideCall
    mov w17, w0
    ldp x0, x1, [sp, #16]
    ldp x2, x3, [sp, #32]
    ldp x4, x5, [sp, #48]
    ldp x6, x7, [sp, #64]
    ldr x8, [sp, #80]
    ldp q0, q1, [sp, #96]
    ldp q2, q3, [sp, #128]
    ldp q4, q5, [sp, #160]
    ldp q6, q7, [sp, #192]
    ldr x16, [sp, #88]
    ldp x29, x30, [sp], #224
    cbnz w17, 1f
    br x16
1:
    mov x0, x16
    ret
