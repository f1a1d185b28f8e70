# Delay-loaded imports of the Windows builds. shell32.dll brings user32, gdi32 and more into the process
# when it loads, which costs more than a whole run of the tool on most command lines; yet only the
# operating-system queries need it (and version.dll). Delay-loading defers each library to the first
# call of one of its functions, so a run that never makes such a call never loads it.
#   quelvo_delay_load(<target> <dll>...)   with cmake/delayload/<dll>.def listing the functions used
function(quelvo_delay_load target)
    if(MSVC)
        # MSVC's linker builds the delay-import tables itself; delayimp holds the helper that loads them.
        foreach(dll IN LISTS ARGN)
            target_link_options(${target} PRIVATE /DELAYLOAD:${dll}.dll)
        endforeach()
        target_link_libraries(${target} PRIVATE delayimp)
        return()
    endif()
    # lld builds the delay-import tables itself (--delayload), but only from import libraries in the
    # short format that llvm-dlltool writes. GNU dlltool's delay-import library is made for GNU ld:
    # under lld its address slots land in read-only .rdata and the first delayed call faults.
    set(lld FALSE)
    if(CMAKE_EXE_LINKER_FLAGS MATCHES "-fuse-ld=lld")
        set(lld TRUE)
        find_program(QUELVO_LLVM_DLLTOOL NAMES llvm-dlltool-16 llvm-dlltool REQUIRED)
    else()
        find_program(QUELVO_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
    endif()
    foreach(dll IN LISTS ARGN)
        set(def ${PROJECT_SOURCE_DIR}/cmake/delayload/${dll}.def)
        set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
        if(lld)
            set(machine i386:x86-64)
            if(QUELVO_TARGET_ARCH STREQUAL "aarch64")
                set(machine arm64)
            endif()
            set(make_lib ${QUELVO_LLVM_DLLTOOL} -m ${machine} -d ${def} -l lib${dll}_delay.a)
        else()
            set(make_lib ${QUELVO_DLLTOOL} --input-def ${def} --output-delaylib lib${dll}_delay.a --dllname ${dll}.dll
                --temp-prefix ${dll}_delay)
        endif()
        if(NOT TARGET delayload_${dll})
            # dlltool names the library's symbols after the output path and its objects after a temporary
            # prefix (by default from its process id): both fixed, so that the link is the same wherever
            # and whenever it is built.
            file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/delayload)
            add_custom_command(OUTPUT ${lib}
                COMMAND ${make_lib}
                DEPENDS ${def}
                WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/delayload
                VERBATIM)
            add_custom_target(delayload_${dll} DEPENDS ${lib})
        endif()
        add_dependencies(${target} delayload_${dll})
        # After the code that calls the functions and before the ordinary import library, so that the
        # linker takes them from here.
        target_link_libraries(${target} PRIVATE ${lib})
        if(lld)
            target_link_options(${target} PRIVATE -Wl,--delayload=${dll}.dll)
        endif()
    endforeach()
endfunction()
