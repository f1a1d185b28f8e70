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

if(MSVC)
    # Not built here (no MSVC on the build machines): the same rules in MSVC's terms. /GS stack
    # cookies, /sdl extra checks, /guard:cf Control Flow Guard, /Brepro no time stamp, /Zi symbols in a
    # PDB; at the link: the mitigations pinned, CET shadow-stack compatibility, unused code dropped.
    add_compile_options(/GS /sdl /guard:cf /Zi /Gy /Gw /Brepro)
    add_link_options(/DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT /CETCOMPAT /guard:cf /Brepro /DEBUG:FULL
        /OPT:REF /OPT:ICF "/PDBALTPATH:%_PDB%")
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
# a destination that the compiler knows, through libssp's __*_chk functions. Of those the tool reaches
# memcpy, in the formatting code.
add_compile_definitions(_FORTIFY_SOURCE=2)

# No time stamp in the PE header; and the mitigations that the linker sets by default are pinned, so that
# a change of default cannot drop them unnoticed. All of these are also understood by lld's MinGW driver.
add_link_options(-Wl,--gc-sections -Wl,--no-insert-timestamp -Wl,--dynamicbase -Wl,--high-entropy-va
    -Wl,--nxcompat)

# The protector's guard and failure handlers, linked into every program and DLL as an object, so that
# libssp's are never pulled in; libssp (which the driver adds for -fstack-protector at the link) still
# gives the checked copies of _FORTIFY_SOURCE. Built without the protector: it changes the guard.
add_link_options(-fstack-protector-strong)
add_library(quelvo_stack_protector OBJECT ${PROJECT_SOURCE_DIR}/platform/windows/StackProtector.cpp)
target_compile_options(quelvo_stack_protector PRIVATE -fno-stack-protector)
link_libraries(quelvo_stack_protector advapi32)

# quelvo_shipped_program(<target> [<library>...])
# A program that ships: it and the named libraries of its own code are compiled with debug information,
# which after the link moves to <file>.debug beside it; the program keeps only a link to that file (its
# name and checksum), so a debugger or a crash-dump reader still finds the symbols.
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
