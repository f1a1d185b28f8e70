# Cross build of the Windows programs with Debian's clang 16 and lld 16, against the headers and
# libraries of MinGW-w64 GCC 12 (posix threads): the same libstdc++ and winpthreads as the GCC build,
# so that the two builds differ only in the compiler. Run under Wine like the GCC build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUELVO_MINGW_GCC_DIR /usr/lib/gcc/${QUELVO_MINGW_TRIPLE}/12-posix)

set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_ASM_COMPILER clang-16)
set(CMAKE_ASM_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_RC_COMPILER ${QUELVO_MINGW_TRIPLE}-windres)

# Clang looks for libstdc++ under a numbered GCC version and, not finding "12-posix", would take the
# host's /usr/include/c++: name GCC's C++ headers instead (not GCC's own intrinsics headers).
set(_cxx_headers ${QUELVO_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem ${_cxx_headers} -isystem ${_cxx_headers}/${QUELVO_MINGW_TRIPLE} -isystem ${_cxx_headers}/backward")

# Everything static, as in the GCC build. libstdc++, libgcc and libgcc_eh come from GCC's folder;
# winpthreads, which GCC's posix driver adds by itself, is named here (lld resolves archives in any order).
# The header flags above reach the link lines too, where clang would call them unused.
set(_link_flags "-fuse-ld=lld-16 -static -L${QUELVO_MINGW_GCC_DIR} -Qunused-arguments")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_link_flags}")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")
set(CMAKE_C_STANDARD_LIBRARIES "-lpthread" CACHE STRING "")

set(CMAKE_FIND_ROOT_PATH /usr/${QUELVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
