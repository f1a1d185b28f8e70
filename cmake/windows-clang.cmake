# Cross build of the Windows programs with Debian's clang 16 and lld 16 against the project's own
# runtime (scripts/runtime): MinGW-w64's headers and CRT, compiler-rt's builtins, libunwind, libc++abi
# and libc++, all built from Debian's sources with Control Flow Guard. Statically linked, run under Wine.
#
# The architecture is the one setting: QUELVO_ARCH, x86_64 (default) or aarch64. The runtime's root is
# QUELVO_RUNTIME_ROOT when given; otherwise scripts/runtime builds or finds it in its cache and names it.
set(QUELVO_ARCH x86_64 CACHE STRING "Target architecture of the Windows programs: x86_64 or aarch64")
set_property(CACHE QUELVO_ARCH PROPERTY STRINGS x86_64 aarch64)
if(NOT QUELVO_RUNTIME_ROOT)
    execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/runtime ${QUELVO_ARCH}
        OUTPUT_VARIABLE _runtime_output RESULT_VARIABLE _runtime_result)
    if(NOT _runtime_result EQUAL 0)
        message(FATAL_ERROR "scripts/runtime ${QUELVO_ARCH} failed")
    endif()
    string(STRIP "${_runtime_output}" _runtime_output)
    string(REGEX REPLACE ".*\n" "" _runtime_output "${_runtime_output}")
    set(QUELVO_RUNTIME_ROOT "${_runtime_output}" CACHE PATH "The Windows runtime of scripts/runtime" FORCE)
endif()
# The compiler checks and try_compile projects read this file again: they get the same runtime.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUELVO_ARCH QUELVO_RUNTIME_ROOT)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUELVO_ARCH})
set(_triple ${QUELVO_ARCH}-w64-windows-gnu)
foreach(language C CXX ASM)
    set(CMAKE_${language}_COMPILER_TARGET ${_triple})
endforeach()
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_ASM_COMPILER clang-16)
set(CMAKE_RC_COMPILER llvm-windres-16)
# The resource compiler's preprocessor takes the runtime's headers: without them it looks for the
# target's in /usr/<triple>, which Debian has for x86_64 only.
set(CMAKE_RC_FLAGS_INIT "--target=${_triple} -I${QUELVO_RUNTIME_ROOT}/include")
set(CMAKE_SYSROOT ${QUELVO_RUNTIME_ROOT})

# The runtime brings its own clang resource folder (clang's headers and compiler-rt's builtins). Its
# folder, which differs from machine to machine, is named by a fixed name in the debug information.
# libc++ 16 has std::format behind -fexperimental-library (libc++experimental.a).
set(_runtime_flags "-resource-dir=${QUELVO_RUNTIME_ROOT}/lib/clang/16 -ffile-prefix-map=${QUELVO_RUNTIME_ROOT}=/quelvo/runtime")
# For ARM64, the C library's formatting is MinGW-w64's own, inside the image, as the runtime's is
# (scripts/runtime): ARM64 Wine's C runtime takes a va_list the Linux way, and a call to its vsnprintf
# family from a Windows program crashes there.
if(QUELVO_ARCH STREQUAL "aarch64")
    string(APPEND _runtime_flags " -D__USE_MINGW_ANSI_STDIO=1")
endif()
set(CMAKE_C_FLAGS_INIT "${_runtime_flags}")
set(CMAKE_CXX_FLAGS_INIT "${_runtime_flags} -stdlib=libc++ -fexperimental-library")
set(CMAKE_ASM_FLAGS_INIT "${_runtime_flags}")
set(_link_flags "-fuse-ld=lld-16 -static -rtlib=compiler-rt -unwindlib=libunwind -stdlib=libc++ -fexperimental-library -resource-dir=${QUELVO_RUNTIME_ROOT}/lib/clang/16")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link_flags}")

set(CMAKE_FIND_ROOT_PATH ${QUELVO_RUNTIME_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
