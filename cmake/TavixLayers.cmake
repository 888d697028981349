# The libraries are layered: a folder may include its own headers and those of the folders
# below it, never the ones above. Linking alone would not catch an upward include (static
# libraries resolve at the final link, and every folder is on the include path), so each
# layered target lists what it may include and the configure step fails on any other
# project header. Editing a checked file re-runs the check.
#
# tavix_layer(target DIR folder ALLOW prefix...): every .h and .cpp under `folder` (the
# target's own) may include quoted "x/y.h" headers only from the folder itself and the
# prefixes in ALLOW (paths from the source root, such as server/market or wire).
function(tavix_layer target)
    cmake_parse_arguments(L "" "DIR" "ALLOW" ${ARGN})
    file(RELATIVE_PATH own ${PROJECT_SOURCE_DIR} ${L_DIR})
    set(allowed ${own} ${L_ALLOW})
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${L_DIR}/*.h ${L_DIR}/*.cpp)
    foreach(file IN LISTS files)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
        file(STRINGS ${file} includes REGEX "^#include \"[^\"]+/[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
            set(ok FALSE)
            foreach(prefix IN LISTS allowed)
                string(FIND "${header}" "${prefix}/" at)
                if(at EQUAL 0)
                    set(ok TRUE)
                endif()
            endforeach()
            if(NOT ok)
                file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${file})
                string(JOIN ", " allowed ${allowed})
                message(FATAL_ERROR "${shown} includes ${header}: ${target} may include only "
                    "${allowed} (see cmake/TavixLayers.cmake)")
            endif()
        endforeach()
    endforeach()
endfunction()
