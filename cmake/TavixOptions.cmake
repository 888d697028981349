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
