# Writes a C++ source that holds the bytes of a file:
#
#   cmake -DINPUT=FILE -DOUTPUT=SOURCE -DFUNCTION=NAME -P embed-file.cmake
#
# SOURCE defines `std::string_view zandorel::NAME()`, the file's bytes. The
# source is rewritten only when its text changes, so an unchanged input does
# not rebuild anything.
foreach(variable INPUT OUTPUT FUNCTION)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "embed-file.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
# Sixteen bytes a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
       "\\1\n    " hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
get_filename_component(input_name "${INPUT}" NAME)

set(text "// Generated from ${input_name} by cmake/embed-file.cmake: do not edit.\n\n")
string(APPEND text "#include <string_view>\n\nnamespace zandorel {\nnamespace {\n\n")
string(APPEND text "const char bytes[${size} + 1] = {\n    ${bytes}'\\0'};\n\n} // namespace\n\n")
string(APPEND text "std::string_view ${FUNCTION}() {\n    return std::string_view(bytes, ${size});\n}\n\n")
string(APPEND text "} // namespace zandorel\n")

if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
    if(old STREQUAL text)
        return()
    endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
