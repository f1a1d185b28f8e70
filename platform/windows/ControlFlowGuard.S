// Control Flow Guard's two function pointers, which every instrumented indirect call goes through, and
// what they hold in the file: a check that accepts every target and a dispatch that jumps to it. On a
// system that enforces CFG the loader replaces both with its own validating functions; elsewhere the
// program runs as if it were not instrumented.
//
// The pointers live in .00cfg, a section that is not writable in the file, as MSVC's runtime puts
// them: the loader makes the page writable while it sets them, and nothing else can change them.
// This object comes from a library, so that a test build can link validating functions in its place;
// the runtime (scripts/runtime) builds it into its C runtime for every other program.

        .section .00cfg,"dr"
        .p2align 3
        .globl  __guard_check_icall_fptr
__guard_check_icall_fptr:
        .quad   quelvo_guard_check_icall_nop
        .globl  __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
        .quad   quelvo_guard_dispatch_icall_nop

        .text
#if defined(__x86_64__)
        .p2align 4
// The target is in rcx; every register is kept.
quelvo_guard_check_icall_nop:
        ret

        .p2align 4
// The target is in rax, the call's arguments in their registers: a tail jump (rex.w marks it as one
// to the unwinder).
quelvo_guard_dispatch_icall_nop:
        rex64 jmp *%rax
#elif defined(__aarch64__)
        .p2align 2
// The target is in x15; every register is kept. Clang calls the check before each indirect call.
quelvo_guard_check_icall_nop:
        ret

        .p2align 2
// The target is in x9 (the dispatch form, which clang does not emit on ARM64).
quelvo_guard_dispatch_icall_nop:
        br      x9
#else
#error "Control Flow Guard's pointers: an architecture without a check and dispatch here"
#endif
