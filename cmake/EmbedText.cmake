# Writes a text file into a C++ source as a null-terminated char array, byte for byte, so that
# a page can be kept and edited as the file it is and still ship inside the program.
#
# cmake -DINPUT=page.html -DOUTPUT=Page.cpp -DSYMBOL=server::kPage -DHEADER=server/http/Page.h -P EmbedText.cmake
# defines `const char <name>[]` in the namespace of SYMBOL; HEADER (which declares it) is included.
file(READ "${INPUT}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${bytes}")
string(REGEX MATCH "^(.*)::([^:]+)$" matched "${SYMBOL}")
set(namespace "${CMAKE_MATCH_1}")
set(name "${CMAKE_MATCH_2}")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}.new"
    "// Generated from ${source} by cmake/EmbedText.cmake: edit ${source}, not this file.\n"
    "#include \"${HEADER}\"\n\n"
    "namespace ${namespace} {\n\n"
    "const char ${name}[] = {\n    ${bytes}'\\0'};\n\n"
    "} // namespace ${namespace}\n")
# Only a changed page rebuilds what depends on it.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
