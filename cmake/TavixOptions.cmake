# One interface target carries the language level, the warnings and the Qt defines.
add_library(tavix_options INTERFACE)
target_compile_features(tavix_options INTERFACE cxx_std_20)
target_compile_options(tavix_options INTERFACE
    -Wall -Wextra -Wold-style-cast -Wnon-virtual-dtor -Wno-missing-field-initializers)
target_compile_definitions(tavix_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)
target_include_directories(tavix_options INTERFACE ${CMAKE_SOURCE_DIR})

# -DTAVIX_SANITIZE=address,undefined or -DTAVIX_SANITIZE=thread: every target of the tree is
# built and linked with those sanitizers. A report ends the program, so a test that provokes
# one fails instead of printing a line nobody reads. The code is built at -O1 with line tables
# only (-g1): what a report needs (function, file and line) at half the compile time of -O2 -g;
# the tests' own code (add_unit_test, the fuzz targets) at -O0, a third of it.
set(TAVIX_SANITIZE "" CACHE STRING "Sanitizers to build with (address,undefined or thread)")
if(TAVIX_SANITIZE)
    add_compile_options(-fsanitize=${TAVIX_SANITIZE} -fno-omit-frame-pointer -O1 -g1)
    add_link_options(-fsanitize=${TAVIX_SANITIZE})
    if(TAVIX_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

# -DTAVIX_FUZZ=ON (clang only): the code is instrumented for coverage-guided fuzzing and the
# targets in tests/fuzz link the fuzzing engine; otherwise they build as corpus-replay programs.
option(TAVIX_FUZZ "Build the fuzz targets with the fuzzing engine (clang)" OFF)
if(TAVIX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TAVIX_FUZZ needs clang (CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The linker: lld where the compiler accepts it (scripts/setup.sh installs it), which links the
# hundred test programs faster than the default one; without it the default links.
# -DTAVIX_LINKER=OFF keeps the default.
set(TAVIX_LINKER lld CACHE STRING "Linker passed to -fuse-ld= when the compiler accepts it (OFF: the default)")
if(TAVIX_LINKER)
    include(CheckLinkerFlag)
    check_linker_flag(CXX -fuse-ld=${TAVIX_LINKER} TAVIX_HAVE_LINKER_${TAVIX_LINKER})
    if(TAVIX_HAVE_LINKER_${TAVIX_LINKER})
        add_link_options(-fuse-ld=${TAVIX_LINKER})
    endif()
endif()
