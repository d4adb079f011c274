# Turns a string table source (lines TESSARO_STRING(id, "text") with C
# escapes) into a resource script STRINGTABLE.
#   cmake -DINPUT=Strings.inc -DOUTPUT=Strings.rc -DLANGUAGE="LANG_ENGLISH, SUBLANG_ENGLISH_US" -P GenerateStringRc.cmake
# Bytes pass through unchanged (a satellite table is in its own ANSI code
# page); file(STRINGS) would drop bytes above 0x7F. Semicolons are hidden
# while the text is a CMake list.
file(READ "${INPUT}" content)
string(REPLACE ";" "@SEMICOLON@" content "${content}")
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\n" ";" lines "${content}")
set(out "// Generated from ${INPUT}; do not edit.\n#include <windows.h>\nLANGUAGE ${LANGUAGE}\nSTRINGTABLE\nBEGIN\n")
foreach(line IN LISTS lines)
  if(line MATCHES "^TESSARO_STRING\\(([0-9]+), \"(.*)\"\\)$")
    set(id "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_2}")
    string(REPLACE "@SEMICOLON@" ";" text "${text}")
    # The resource compiler writes an embedded quote as two quotes.
    string(REPLACE "\\\"" "\"\"" text "${text}")
    string(APPEND out "  ${id}, \"${text}\"\n")
  elseif(line MATCHES "^TESSARO_STRING")
    message(FATAL_ERROR "${INPUT}: malformed entry: ${line}")
  endif()
endforeach()
string(APPEND out "END\n")
file(WRITE "${OUTPUT}.tmp" "${out}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different "${OUTPUT}.tmp" "${OUTPUT}")
