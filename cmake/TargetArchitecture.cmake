# QUELVO_TARGET_ARCH: the processor that the Windows programs are built for, x86_64 or aarch64.
# MSVC's own word for it comes first (CMAKE_CXX_COMPILER_ARCHITECTURE_ID, x64 or ARM64): the Visual Studio
# generator leaves CMAKE_SYSTEM_PROCESSOR at the host's, which an x64 machine building for ARM64 is not.
# CMake records no architecture for clang and GCC targeting MinGW-w64; their toolchain files set
# CMAKE_SYSTEM_PROCESSOR instead.
if(NOT QUELVO_PLATFORM STREQUAL "windows")
    return()
endif()
set(_architecture "${CMAKE_CXX_COMPILER_ARCHITECTURE_ID}")
if(NOT _architecture)
    set(_architecture "${CMAKE_SYSTEM_PROCESSOR}")
endif()
string(TOLOWER "${_architecture}" _architecture)
if(_architecture MATCHES "^(x64|x86_64|amd64)$")
    set(QUELVO_TARGET_ARCH x86_64)
elseif(_architecture MATCHES "^(arm64|aarch64)$")
    set(QUELVO_TARGET_ARCH aarch64)
else()
    message(FATAL_ERROR "Windows builds are for x64 and ARM64, not '${_architecture}' "
        "(CMAKE_CXX_COMPILER_ARCHITECTURE_ID '${CMAKE_CXX_COMPILER_ARCHITECTURE_ID}', "
        "CMAKE_SYSTEM_PROCESSOR '${CMAKE_SYSTEM_PROCESSOR}')")
endif()
message(STATUS "Windows programs for ${QUELVO_TARGET_ARCH} (compiler's architecture "
    "'${CMAKE_CXX_COMPILER_ARCHITECTURE_ID}', system processor '${CMAKE_SYSTEM_PROCESSOR}')")
