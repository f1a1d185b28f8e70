# Checks what remediation.exe is as a file: a 64-bit GUI-subsystem Windows program that needs no MinGW
# runtime DLL and carries its application manifest (resource type 24, id 1) with the four supported
# systems and nothing else.
#   cmake -DOBJDUMP=... -DEXECUTABLE=... -DMANIFEST=... -P CheckExecutable.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${EXECUTABLE}")
endif()

set(failures "")
macro(expect pattern what)
    if(NOT headers MATCHES "${pattern}")
        list(APPEND failures "${what}")
    endif()
endmacro()
expect("file format pei-x86-64" "not an x86-64 PE file")
expect("Magic[ \t]+020b" "not PE32+")
expect("Subsystem[ \t]+00000002" "not the Windows GUI subsystem")
expect("Entry: ID: 0x000018[^\n]*\n([^\n]*\n)?[^\n]*Entry: ID: 0x000001" "no manifest resource with id 1")

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
    string(TOLOWER "${import}" import)
    if(import MATCHES "libstdc|libgcc|libwinpthread|mingw")
        list(APPEND failures "depends on a MinGW runtime DLL: ${import}")
    endif()
endforeach()

file(READ ${MANIFEST} manifest)
string(REGEX MATCHALL "supportedOS Id=\"[^\"]+\"" systems "${manifest}")
list(LENGTH systems count)
if(NOT count EQUAL 4)
    list(APPEND failures "the manifest declares ${count} supported systems, not 4")
endif()
foreach(id 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38
        1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a)
    if(NOT manifest MATCHES "{${id}}")
        list(APPEND failures "the manifest lacks {${id}}")
    endif()
endforeach()
if(manifest MATCHES "requestedExecutionLevel|dpiAware|longPathAware")
    list(APPEND failures "the manifest requests more than the supported systems")
endif()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "remediation.exe:\n  ${text}")
endif()
message(STATUS "remediation.exe: x86-64 PE32+, GUI subsystem, no MinGW runtime DLL, manifest with 4 supported systems")
