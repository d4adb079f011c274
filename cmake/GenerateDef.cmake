# Writes a module definition file from the export list of a public header.
#
#   cmake -DHEADER=<header> -DLIBRARY=<name> -DOUTPUT=<file.def> -P GenerateDef.cmake
#
# The list is the header's X-macro, one entry a line, each starting
# "X(Name, Ordinal,". The names must be in name order (byte order, as the
# export table's name pointers are sorted) and the ordinals must count 1, 2,
# 3 ... in that order: anything else stops the build here rather than ship a
# table that disagrees with the header.
foreach(var HEADER LIBRARY OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "GenerateDef.cmake: ${var} not set")
  endif()
endforeach()

# Read as one text: the list's lines end in the macro's backslashes, which
# would escape CMake's list separators if read line by line.
file(READ ${HEADER} text)
string(REGEX MATCHALL "\n[ \t]*X\\([A-Za-z_][A-Za-z0-9_]*, *[0-9]+," entries "${text}")
if(NOT entries)
  message(FATAL_ERROR "${HEADER}: no export list (lines starting X(Name, Ordinal,)")
endif()

set(def "LIBRARY ${LIBRARY}\nEXPORTS\n")
set(previous "")
set(expected 1)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^\n[ \t]*X\\(([A-Za-z_][A-Za-z0-9_]*), *([0-9]+)," "\\1;\\2" fields
         "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 ordinal)
  if(NOT ordinal EQUAL expected)
    message(FATAL_ERROR "${HEADER}: ${name} has ordinal ${ordinal}, expected ${expected}")
  endif()
  if(NOT previous STREQUAL "" AND NOT previous STRLESS name)
    message(FATAL_ERROR "${HEADER}: ${name} comes after ${previous}: not in name order")
  endif()
  string(APPEND def "  ${name} @${ordinal}\n")
  set(previous ${name})
  math(EXPR expected "${expected} + 1")
endforeach()

# Rewritten only when it changes, so an edit of a comment relinks nothing.
set(new_def ${OUTPUT}.new)
file(WRITE ${new_def} "${def}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${new_def} ${OUTPUT})
file(REMOVE ${new_def})
