# GoogleTest from Debian's sources, built inside this build for either target.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(QUELVO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
# MSVC: the static runtime, as every target of the build (cmake/ProjectOptions.cmake).
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUELVO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Under MSVC GoogleTest compiles itself with -WX: a warning that a newer compiler finds in its sources
# would fail our build; our own targets keep /WX (cmake/ProjectOptions.cmake).
if(MSVC)
    foreach(target gtest gtest_main gmock gmock_main)
        target_compile_options(${target} PRIVATE /WX-)
    endforeach()
endif()
# GoogleTest's own sources call C runtime functions that MSVC's runtime deprecates, which the SDK rules
# (cmake/ProjectOptions.cmake) report: not ours to change, so not reported. MinGW-w64's headers keep
# marking memcpy and its kin under _CRT_SECURE_NO_WARNINGS, so the warning itself is off for these too.
if(QUELVO_SDK_RULES)
    foreach(target gtest gtest_main gmock gmock_main)
        target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS _CRT_NONSTDC_NO_DEPRECATE)
        target_compile_options(${target} PRIVATE -Wno-deprecated-declarations)
    endforeach()
endif()
