# One way to format text, chosen here and not by a feature macro (libc++ 16 has std::format behind
# -fexperimental-library without defining __cpp_lib_format):
#   QUELVO_FORMAT=std   std::format (MSVC, libc++ with -fexperimental-library, newer libstdc++)
#   QUELVO_FORMAT=fmt   {fmt} (GCC 12); the cross build uses Debian's {fmt} headers header-only.
# Left empty, std is taken under MSVC and wherever the standard library compiles a use of std::format.
set(QUELVO_FORMAT "" CACHE STRING "base/Format.h formats with std (std::format) or fmt ({fmt}); empty: std where available")
set_property(CACHE QUELVO_FORMAT PROPERTY STRINGS "" std fmt)
if(QUELVO_FORMAT STREQUAL "" AND MSVC)
    # Nothing installs {fmt} where MSVC builds: an older toolset without std::format fails at its compile.
    set(QUELVO_FORMAT std CACHE STRING "" FORCE)
elseif(QUELVO_FORMAT STREQUAL "")
    include(CheckCXXSourceCompiles)
    check_cxx_source_compiles([[
        #include <format>
        #include <string>
        int main() { return std::format(std::format_string<int>("{}"), 1) == std::string("1") ? 0 : 1; }
    ]] QUELVO_HAS_STD_FORMAT)
    if(QUELVO_HAS_STD_FORMAT)
        set(QUELVO_FORMAT std CACHE STRING "" FORCE)
    else()
        set(QUELVO_FORMAT fmt CACHE STRING "" FORCE)
    endif()
endif()
message(STATUS "Formatting with: ${QUELVO_FORMAT}")

add_library(quelvo_format INTERFACE)
if(QUELVO_FORMAT STREQUAL "std")
    target_compile_definitions(quelvo_format INTERFACE QUELVO_FORMAT_STD)
elseif(QUELVO_FORMAT STREQUAL "fmt")
    target_compile_definitions(quelvo_format INTERFACE QUELVO_FORMAT_FMT)
    if(QUELVO_PLATFORM STREQUAL "windows" AND NOT MSVC)
        set(_fmt_root "${CMAKE_BINARY_DIR}/fmt-include")
        file(MAKE_DIRECTORY "${_fmt_root}")
        file(CREATE_LINK /usr/include/fmt "${_fmt_root}/fmt" SYMBOLIC)
        target_include_directories(quelvo_format SYSTEM INTERFACE "${_fmt_root}")
        target_compile_definitions(quelvo_format INTERFACE FMT_HEADER_ONLY)
    else()
        find_package(fmt REQUIRED)
        target_link_libraries(quelvo_format INTERFACE fmt::fmt)
    endif()
else()
    message(FATAL_ERROR "QUELVO_FORMAT must be std or fmt, not '${QUELVO_FORMAT}'")
endif()
