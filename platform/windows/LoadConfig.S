// The image's load configuration, for lld links: the directory that tells the Windows loader where the
// stack protector's guard is and what Control Flow Guard needs. lld points the load-configuration
// data directory at _load_config_used and takes its size from the first field; it defines the
// __guard_* symbols below (tables as addresses, counts and flags as absolute values). C cannot
// express a 32-bit field holding a link-time value, hence assembly.
//
// The layout is IMAGE_LOAD_CONFIG_DIRECTORY64 of the PE format, through the last field that lld
// fills (the long-jump table's count); Size says so, and later fields are absent, not zero.
//
// The security cookie is the stack protector's guard (platform/windows/StackProtector.cpp). The runtime
// (scripts/runtime) builds this file into its C runtime without one (0), for programs that bring no
// load configuration of their own.
#ifndef QUELVO_SECURITY_COOKIE
#define QUELVO_SECURITY_COOKIE __stack_chk_guard
#endif

        .section .rdata,"dr"
        .globl  _load_config_used
        .p2align 3
_load_config_used:
        .long   _load_config_end - _load_config_used    // 0x00 Size
        .long   0                                       // 0x04 TimeDateStamp
        .short  0                                       // 0x08 MajorVersion
        .short  0                                       // 0x0A MinorVersion
        .long   0                                       // 0x0C GlobalFlagsClear
        .long   0                                       // 0x10 GlobalFlagsSet
        .long   0                                       // 0x14 CriticalSectionDefaultTimeout
        .quad   0                                       // 0x18 DeCommitFreeBlockThreshold
        .quad   0                                       // 0x20 DeCommitTotalFreeThreshold
        .quad   0                                       // 0x28 LockPrefixTable
        .quad   0                                       // 0x30 MaximumAllocationSize
        .quad   0                                       // 0x38 VirtualMemoryThreshold
        .quad   0                                       // 0x40 ProcessAffinityMask
        .long   0                                       // 0x48 ProcessHeapFlags
        .short  0                                       // 0x4C CSDVersion
        .short  0                                       // 0x4E DependentLoadFlags
        .quad   0                                       // 0x50 EditList
        // The stack protector's guard, which holds the x64 default value in the file: the loader of
        // Windows 8 and later (and Wine's) replaces it with a random value before any code runs.
        .quad   QUELVO_SECURITY_COOKIE                  // 0x58 SecurityCookie
        .quad   0                                       // 0x60 SEHandlerTable (x86 only)
        .quad   0                                       // 0x68 SEHandlerCount
        .quad   __guard_check_icall_fptr                // 0x70 GuardCFCheckFunctionPointer
        .quad   __guard_dispatch_icall_fptr             // 0x78 GuardCFDispatchFunctionPointer
        .quad   __guard_fids_table                      // 0x80 GuardCFFunctionTable
        .quad   __guard_fids_count                      // 0x88 GuardCFFunctionCount
        .long   __guard_flags                           // 0x90 GuardFlags
        .short  0                                       // 0x94 CodeIntegrity.Flags
        .short  0                                       // 0x96 CodeIntegrity.Catalog
        .long   0                                       // 0x98 CodeIntegrity.CatalogOffset
        .long   0                                       // 0x9C CodeIntegrity.Reserved
        .quad   __guard_iat_table                       // 0xA0 GuardAddressTakenIatEntryTable
        .quad   __guard_iat_count                       // 0xA8 GuardAddressTakenIatEntryCount
        .quad   __guard_longjmp_table                   // 0xB0 GuardLongJumpTargetTable
        .quad   __guard_longjmp_count                   // 0xB8 GuardLongJumpTargetCount
_load_config_end:
