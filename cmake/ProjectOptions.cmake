# Warnings, sanitizers and the common flags of both builds.
add_library(quelvo_options INTERFACE)
if(MSVC)
    target_compile_options(quelvo_options INTERFACE /W4 /WX /permissive- /utf-8 /EHsc)
    # The static C and C++ runtime (/MT), as the MinGW-w64 builds link theirs: the tool must start on a
    # machine whose Visual C++ redistributable is missing or broken. Every target takes it, GoogleTest
    # too (whose own CMake files would otherwise ignore the variable).
    set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
else()
    target_compile_options(quelvo_options INTERFACE -Wall -Wextra -Werror)
endif()

# The product code is also held to what MSVC's /W4 rejects and -Wall -Wextra lets through: narrowing
# conversions (C4244, C4267), signed/unsigned mixes (C4245, C4389), hidden names (C4456 to C4459) and
# a class declared as a struct (C4099: MSVC mangles the two apart, so the link fails).
# Linked privately by the product's own targets only; the simulated Windows, the tests and the demo keep
# quelvo_options alone.
add_library(quelvo_product_warnings INTERFACE)
if(NOT MSVC)
    target_compile_options(quelvo_product_warnings INTERFACE
        -Wconversion -Wsign-conversion -Wshadow -Wmismatched-tags)
endif()

# MinGW-w64's headers accept what the Windows SDK's reject (a deprecated function, a name the SDK takes as
# a macro): platform/windows/SdkRules.h, first in every C++ file, holds a MinGW-w64 build to the SDK's rules.
option(QUELVO_SDK_RULES "Force-include platform/windows/SdkRules.h into every C++ file of a MinGW-w64 build" OFF)
if(QUELVO_SDK_RULES AND MSVC)
    message(FATAL_ERROR "QUELVO_SDK_RULES holds a MinGW-w64 build to the Windows SDK's rules; an MSVC build "
        "compiles against the SDK itself: configure it without QUELVO_SDK_RULES")
endif()
if(QUELVO_SDK_RULES)
    add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-include${PROJECT_SOURCE_DIR}/platform/windows/SdkRules.h>")
endif()

if(QUELVO_SANITIZE)
    set(QUELVO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_compile_options(${QUELVO_SANITIZER_FLAGS})
    add_link_options(${QUELVO_SANITIZER_FLAGS})
endif()

if(QUELVO_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT QUELVO_PLATFORM STREQUAL "sim")
        message(FATAL_ERROR "QUELVO_FUZZ needs clang and QUELVO_PLATFORM=sim (use the fuzz preset)")
    endif()
    # Every library is instrumented for coverage feedback; only the fuzz targets get libFuzzer's main.
    set(QUELVO_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${QUELVO_FUZZ_FLAGS})
    add_link_options(-fsanitize=address,undefined)
endif()

if(QUELVO_COVERAGE)
    add_compile_options(--coverage -O0)
    add_link_options(--coverage)
endif()

if(QUELVO_PLATFORM STREQUAL "windows" AND CMAKE_CROSSCOMPILING)
    # Wine runs the Windows test programs; the prefix lives inside the build folder.
    set(QUELVO_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
    # A build for another processor than the host's runs under that processor's Wine, inside a chroot
    # that scripts/wine-chroot sets up once and finds in its cache afterwards.
    set(QUELVO_WINE_ROOT "")
    if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
        execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-chroot ${CMAKE_SYSTEM_PROCESSOR}
            OUTPUT_VARIABLE wine_chroot OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        set(QUELVO_WINE_ROOT "${wine_chroot}/root")
    endif()
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
endif()

# A Windows program with a wide entry point: wWinMain for the GUI subsystem, wmain for the console.
#   quelvo_wide_entry(<target> GUI|CONSOLE)
function(quelvo_wide_entry target subsystem)
    if(MSVC)
        if(subsystem STREQUAL "GUI")
            target_link_options(${target} PRIVATE /SUBSYSTEM:WINDOWS)
        endif()
    elseif(subsystem STREQUAL "GUI")
        target_link_options(${target} PRIVATE -mwindows -municode)
    else()
        target_link_options(${target} PRIVATE -municode)
    endif()
endfunction()
