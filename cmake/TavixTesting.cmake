# add_unit_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds] [LABELS ...] [ARGS ...])
# Registers a test with CTest; GUI tests run offscreen with a UTF-8 locale.
function(add_unit_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ARGS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE tavix_options ${T_LIBS})
    if(TAVIX_SANITIZE)
        # A test's own code at -O0 (a third of the compile time): the code under test is in the
        # libraries, built at -O1 (TavixOptions).
        target_compile_options(${T_NAME} PRIVATE -O0)
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
