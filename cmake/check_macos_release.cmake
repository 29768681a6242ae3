# Checks a macOS release binary: it links only libraries every Mac has (under /usr/lib and
# /System/Library/Frameworks), it says it runs on macOS MINIMUM, and the static libzstd linked
# into it was built for no later macOS.
#   cmake -DBINARY=... -DZSTD_LIBRARY=... -DMINIMUM=12.0 -P check_macos_release.cmake
cmake_minimum_required(VERSION 3.25)
find_program(OTOOL otool REQUIRED)

# The minimum macOS versions in the load commands that otool -l prints for FILE, one per object.
function(minimum_versions file out)
    execute_process(COMMAND ${OTOOL} -l ${file} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
    string(REPLACE "\n" ";" lines "${text}")
    set(versions)
    set(field "")
    foreach(line IN LISTS lines)
        if(line MATCHES "cmd LC_BUILD_VERSION$")
            set(field minos)
        elseif(line MATCHES "cmd LC_VERSION_MIN_MACOSX$")
            set(field version)
        elseif(field AND line MATCHES "^ *${field} ([0-9.]+)$")
            list(APPEND versions ${CMAKE_MATCH_1})
            set(field "")
        endif()
    endforeach()
    set(${out} ${versions} PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${OTOOL} -L ${BINARY} OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" lines "${text}")
list(POP_FRONT lines)
set(foreign)
foreach(line IN LISTS lines)
    if(line MATCHES "^[ \t]+([^ ]+) \\(")
        set(library ${CMAKE_MATCH_1})
        if(NOT library MATCHES "^(/usr/lib|/System/Library/Frameworks)/")
            list(APPEND foreign ${library})
        endif()
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "${BINARY} links libraries a player's Mac does not have: ${foreign}")
endif()

minimum_versions(${BINARY} binary_minimum)
if(NOT binary_minimum STREQUAL MINIMUM)
    message(FATAL_ERROR "${BINARY} is built for macOS ${binary_minimum}, not ${MINIMUM}")
endif()

minimum_versions(${ZSTD_LIBRARY} zstd_minimums)
if(NOT zstd_minimums)
    message(FATAL_ERROR "${ZSTD_LIBRARY} names no minimum macOS version")
endif()
foreach(version IN LISTS zstd_minimums)
    if(version VERSION_GREATER MINIMUM)
        message(FATAL_ERROR "${ZSTD_LIBRARY} is built for macOS ${version}, later than ${MINIMUM}: "
                            "build it with TARNVEX_ZSTD_SOURCE_DIR")
    endif()
endforeach()
message(STATUS "Release check: ${BINARY} links only the system's libraries, for macOS ${MINIMUM}, "
               "libzstd too")
