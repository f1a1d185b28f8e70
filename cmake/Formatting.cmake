# One way to format text: std::format where the standard library has it, {fmt} where it does not.
# The cross build uses Debian's {fmt} headers header-only; only the fmt/ folder is exposed to it.
add_library(quelvo_format INTERFACE)
if(MSVC)
    # MSVC's standard library has <format>.
elseif(QUELVO_PLATFORM STREQUAL "windows")
    set(_fmt_root "${CMAKE_BINARY_DIR}/fmt-include")
    file(MAKE_DIRECTORY "${_fmt_root}")
    file(CREATE_LINK /usr/include/fmt "${_fmt_root}/fmt" SYMBOLIC)
    target_include_directories(quelvo_format SYSTEM INTERFACE "${_fmt_root}")
    target_compile_definitions(quelvo_format INTERFACE FMT_HEADER_ONLY)
else()
    find_package(fmt REQUIRED)
    target_link_libraries(quelvo_format INTERFACE fmt::fmt)
endif()
