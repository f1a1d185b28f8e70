# The flags of the Windows build that make the shipped remediation.exe what a release must be:
# optimized and lean, reproducible to the byte, with the exploit mitigations pinned on, and with its
# symbols and debug information in a file beside it rather than inside it.
#
# Every Windows target gets the compile and link flags, so that the tests, the demo product and the
# bench floors are built as the tool is; quelvo_shipped_program() adds what only a shipped file needs.
if(NOT QUELVO_PLATFORM STREQUAL "windows")
    function(quelvo_shipped_program target)
    endfunction()
    return()
endif()

# What the executable check (tests/e2e/CheckExecutable.py) holds each build's file to: GNU ld writes
# neither a load configuration nor a debug directory; lld and MSVC's linker add Control Flow Guard and
# CET compatibility (x64 only). 1 MiB for the shipped file; the GCC build's is larger, and so is an ARM64
# file, whose fixed-size instructions make its code about a quarter larger.
if(MSVC)
    set(QUELVO_LINKER link)
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(QUELVO_LINKER lld)
else()
    set(QUELVO_LINKER ld)
endif()
if(QUELVO_LINKER STREQUAL "ld")
    set(QUELVO_SIZE_BUDGET 1572864)
elseif(QUELVO_TARGET_ARCH STREQUAL "aarch64")
    set(QUELVO_SIZE_BUDGET 1310720)
else()
    set(QUELVO_SIZE_BUDGET 1048576)
endif()

if(MSVC)
    # Not built here (no MSVC on the build machines): the same rules in MSVC's terms. /GS stack
    # cookies, /sdl extra checks, /guard:cf Control Flow Guard, /Brepro no time stamp, /Zi symbols in a
    # PDB; at the link: the mitigations pinned, CET shadow-stack compatibility (x64), unused code dropped.
    add_compile_options(/GS /sdl /guard:cf /Zi /Gy /Gw /Brepro)
    add_link_options(/DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT /guard:cf /Brepro /DEBUG:FULL
        /OPT:REF /OPT:ICF "/PDBALTPATH:%_PDB%")
    # CET shadow stacks are x64's: the ARM64 linker refuses the switch (LNK1246).
    if(QUELVO_TARGET_ARCH STREQUAL "x86_64")
        add_link_options(/CETCOMPAT)
    endif()
    function(quelvo_shipped_program target)
    endfunction()
    return()
endif()

# Each function and datum in a section of its own, so that the linker can drop what nothing reaches.
# Stack cookies in every function with an array or an address-taken local. No folder of
# the machine in any file, the debug file included (the program holds its checksum): the sources' and
# the build's folders are mapped to fixed names, without a closing slash so that the folders themselves
# match too (the compilation folder is recorded without one); the build's map comes last, as it lies
# inside the sources' folder and the last matching map wins.
add_compile_options(-ffunction-sections -fdata-sections -fstack-protector-strong
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=." "-ffile-prefix-map=${PROJECT_BINARY_DIR}=build")
# MinGW-w64's headers check memcpy, memset, the str* copies and the printf family against the size of
# a destination that the compiler knows, through the __*_chk functions of
# platform/windows/StackProtector.cpp. Of those the tool reaches memcpy, in the formatting code.
add_compile_definitions(_FORTIFY_SOURCE=2)

# No time stamp in the PE header; and the mitigations that the linker sets by default are pinned, so that
# a change of default cannot drop them unnoticed. All of these are also understood by lld's MinGW driver.
add_link_options(-Wl,--gc-sections -Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--high-entropy-va
    -Wl,--nxcompat)

# The protector's guard and failure handlers and the checked copies of _FORTIFY_SOURCE, linked into
# every program and DLL as an object in place of libssp, which the link therefore does not name. Built
# without the protector: it changes the guard.
add_library(quelvo_stack_protector OBJECT ${PROJECT_SOURCE_DIR}/platform/windows/StackProtector.cpp)
target_include_directories(quelvo_stack_protector PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(quelvo_stack_protector PRIVATE -fno-stack-protector)

# clang and lld, which build the shipped file, add what GNU ld cannot write: the image's load
# configuration (platform/windows/LoadConfig.S), which names the stack protector's guard as the
# security cookie that the loader seeds, and Control Flow Guard: every indirect call of the
# instrumented code goes through the guard's dispatch pointer, and lld writes the tables of valid call
# and long-jump targets. An x64 image is also marked compatible with CET shadow stacks, which ARM64 lacks.
if(QUELVO_LINKER STREQUAL "lld")
    set(QUELVO_CONTROL_FLOW_GUARD ON)
    enable_language(ASM)
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-mguard=cf>)
    add_link_options(-Wl,--guard-cf -Wl,--guard-longjmp)
    if(QUELVO_TARGET_ARCH STREQUAL "x86_64")
        add_link_options(-Wl,--Xlink=-cetcompat)
    endif()
    add_library(quelvo_load_config OBJECT ${PROJECT_SOURCE_DIR}/platform/windows/LoadConfig.S)
    # The guard's pass-through check and dispatch, from a library so that a test build can link the
    # validating ones in their place.
    add_library(quelvo_guard_default STATIC ${PROJECT_SOURCE_DIR}/platform/windows/ControlFlowGuard.S)

    # The validating check and dispatch, for test builds only (quelvo_validate_control_flow(<target>)):
    # they end the process where Windows' guard would. Their own calls are not checked.
    add_library(quelvo_guard_validation OBJECT ${PROJECT_SOURCE_DIR}/platform/windows/GuardValidation.cpp
        ${PROJECT_SOURCE_DIR}/platform/windows/GuardValidation.S)
    target_include_directories(quelvo_guard_validation PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(quelvo_guard_validation PRIVATE -mguard=cf-nochecks)
    target_link_libraries(quelvo_guard_validation PRIVATE quelvo_options)
endif()
function(quelvo_validate_control_flow target)
    target_link_libraries(${target} PRIVATE quelvo_guard_validation)
endfunction()

# Every program and DLL from here on links the run-time support above.
link_libraries(quelvo_stack_protector advapi32)
if(QUELVO_CONTROL_FLOW_GUARD)
    link_libraries(quelvo_load_config quelvo_guard_default)
    # The probe of the validating guard: one planted indirect call a run (platform/windows/GuardProbe.cpp).
    add_executable(guard_probe ${PROJECT_SOURCE_DIR}/platform/windows/GuardProbe.cpp)
    target_link_libraries(guard_probe PRIVATE quelvo_platform quelvo_options)
    quelvo_wide_entry(guard_probe GUI)
    quelvo_validate_control_flow(guard_probe)
endif()

# quelvo_shipped_program(<target> [<library>...])
# A program that ships: it and the named libraries of its own code are compiled with debug information,
# which the program does not carry itself.
if(QUELVO_LINKER STREQUAL "lld")
    # As Windows debuggers read it: CodeView in remediation.pdb beside the program, which names the PDB
    # without a folder in its RSDS entry. -Brepro (after the driver's -timestamp:0, so it wins) makes the
    # time stamp of the header and of every debug entry a hash of the image and adds the Repro entry, so
    # that a symbol store files each build under its own index. No folder of the machine in the PDB:
    # clang's command line is left out of the objects, the objects are linked by relative names, and
    # lld makes relative source names absolute against a fixed folder instead of the build's.
    set(QUELVO_PDB_SOURCE_PATH "C:/src/remediation" CACHE STRING
        "The folder that the shipped PDB names as its sources' root")
    function(quelvo_shipped_program target)
        foreach(code IN ITEMS ${target} ${ARGN})
            target_compile_options(${code} PRIVATE -g -gcodeview -gno-codeview-command-line)
        endforeach()
        # The PDB beside the program, named relative to the folder the link runs in (the target's binary
        # folder), as lld records its name in the PDB.
        set(pdb $<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.pdb)
        target_link_options(${target} PRIVATE "-Wl,--pdb=$<PATH:RELATIVE_PATH,${pdb},${CMAKE_CURRENT_BINARY_DIR}>"
            -Wl,--Xlink=-Brepro -Wl,--Xlink=-pdbaltpath:%_PDB%
            "-Wl,--Xlink=-pdbsourcepath:${QUELVO_PDB_SOURCE_PATH}")
        # The PDB records lld's command line, to which clang adds a -L for each folder on LIBRARY_PATH.
        set_target_properties(${target} PROPERTIES
            CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;--unset=LIBRARY_PATH")
        # With a PDB, lld keeps any DWARF that a precompiled library brings into the image and ignores -s.
        # The runtime is built with CodeView, so today there is none; should a library bring some, LLVM's
        # objcopy removes it and keeps the stamps, the debug directory and the guard's tables (binutils'
        # would write a time stamp of its own). A debug file of an earlier build goes.
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_OBJCOPY} --strip-debug $<TARGET_FILE_NAME:${target}>
            COMMAND ${CMAKE_COMMAND} -E rm -f $<TARGET_FILE_NAME:${target}>.debug
            WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
            COMMENT "Removing any DWARF of precompiled libraries from ${target}"
            VERBATIM)
    endfunction()
    return()
endif()
# GNU ld writes no PDB: the symbols and DWARF move to <file>.debug beside the program, which keeps only
# a link to that file (its name and checksum), so a debugger or a crash-dump reader still finds them.
function(quelvo_shipped_program target)
    foreach(code IN ITEMS ${target} ${ARGN})
        target_compile_options(${code} PRIVATE -g)
    endforeach()
    if(NOT CMAKE_OBJCOPY OR NOT CMAKE_STRIP)
        message(FATAL_ERROR "quelvo_shipped_program needs objcopy and strip for the target (CMAKE_OBJCOPY, CMAKE_STRIP)")
    endif()
    # Binutils writes the current time into every PE header it rewrites unless SOURCE_DATE_EPOCH names
    # another; 0 keeps the linker's empty time stamp. Run beside the program, so that the link names the
    # debug file without a folder.
    set(binutils ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${binutils} ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
                $<TARGET_FILE_NAME:${target}>.debug
        COMMAND ${binutils} ${CMAKE_STRIP} --strip-all $<TARGET_FILE_NAME:${target}>
        COMMAND ${binutils} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
                $<TARGET_FILE_NAME:${target}>
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
        COMMENT "Moving the symbols of ${target} to a file beside it"
        VERBATIM)
endfunction()
