# tavix_test_code_level(target): a test's own code at -O0 in sanitized builds (a third of the
# compile time of -O1) and at -O1 in Release builds (two thirds of that of -O3): the code under
# test is in the libraries, built at the build's level.
function(tavix_test_code_level target)
    if(TAVIX_SANITIZE)
        target_compile_options(${target} PRIVATE -O0)
    elseif(CMAKE_BUILD_TYPE STREQUAL "Release")
        target_compile_options(${target} PRIVATE -O1)
    endif()
endfunction()

# tavix_harness_pch(): the tests of the server's harness (tests/support) share one precompiled
# header of Google Test, Asio and the standard library, which is a third of each one's compile
# time. Only without a compiler launcher: ccache caches no compile that uses it.
function(tavix_harness_pch)
    if(CMAKE_CXX_COMPILER_LAUNCHER)
        return()
    endif()
    set(source ${CMAKE_CURRENT_BINARY_DIR}/harness_pch.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// The precompiled header's own translation unit.\n")
    add_library(tavix_harness_pch OBJECT ${source})
    target_link_libraries(tavix_harness_pch PRIVATE tavix_options tavix_test_harness)
    tavix_test_code_level(tavix_harness_pch)
    target_precompile_headers(tavix_harness_pch PRIVATE
        <gtest/gtest.h> <asio.hpp> <chrono> <filesystem> <functional> <future> <map> <memory>
        <mutex> <optional> <string> <thread> <vector>)
endfunction()

# add_unit_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds] [LABELS ...] [ARGS ...])
# Registers a test with CTest; GUI tests run offscreen with a UTF-8 locale.
function(add_unit_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE tavix_options ${T_LIBS})
    tavix_test_code_level(${T_NAME})
    if(tavix_test_harness IN_LIST T_LIBS AND TARGET tavix_harness_pch)
        target_precompile_headers(${T_NAME} REUSE_FROM tavix_harness_pch)
    endif()
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME} ${T_ARGS})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # COST: the longer a test may take, the sooner it starts, so that no long test is left to
    # run alone at the end on a machine that has no timings of its own yet (CTest's cost data).
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        COST ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;TAVIX_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
        LABELS "${T_LABELS}")
endfunction()

# tavix_thread_tests(name ...): tests of code that owns threads (the link, the server's threads,
# the notifier, the updater's download thread). They carry the label `threads`, which
# ThreadSanitizer's run selects, and the target thread_tests builds just them.
function(tavix_thread_tests)
    foreach(name ${ARGN})
        set_property(TEST ${name} APPEND PROPERTY LABELS threads)
        set_property(GLOBAL APPEND PROPERTY TAVIX_THREAD_TESTS ${name})
    endforeach()
endfunction()
