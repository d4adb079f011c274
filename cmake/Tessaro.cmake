# Helpers shared by every module's CMakeLists.

# tessaro_test(<name> SOURCES ... LIBS ...)
# One GoogleTest binary per module. In the Windows configurations that run
# tests (wine64, and wine32 where the machine runs 32-bit code) the binary
# runs under Wine through the cross-compiling emulator; the win32
# configuration only builds the shipped files and runs no test binary.
function(tessaro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TESSARO_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESSARO_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# tessaro_fuzz(<name> SOURCES ... LIBS ...)
# A fuzz target: replayed over its stored inputs as a native test, built as
# a libFuzzer binary when TESSARO_FUZZ is on (clang).
option(TESSARO_FUZZ "Build libFuzzer binaries of the fuzz targets (clang)" OFF)
# The libraries a target links carry the code under test: they need the
# coverage instrumentation too, or libFuzzer sees only the target's own file
# and mutates blindly.
if(TESSARO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
# tessaro_fuzz_harness(TARGETS ... SOURCES ...)
# Code that only stands in for the machine (the simulated boards, the image
# builders, the fakes) keeps its edge coverage in fuzz builds but loses the
# comparison tracing: its byte loops over whole ROM images would otherwise
# cost most of every run, and its comparisons decide nothing about input.
function(tessaro_fuzz_harness)
  cmake_parse_arguments(H "" "" "TARGETS;SOURCES" ${ARGN})
  if(NOT TESSARO_FUZZ)
    return()
  endif()
  foreach(_target IN LISTS H_TARGETS)
    target_compile_options(${_target} PRIVATE -fno-sanitize-coverage=trace-cmp)
  endforeach()
  if(H_SOURCES)
    set_source_files_properties(${H_SOURCES} PROPERTIES COMPILE_OPTIONS
                                -fno-sanitize-coverage=trace-cmp)
  endif()
endfunction()
function(tessaro_fuzz name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  if(TESSARO_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/Replay.cpp)
    add_test(NAME ${name} COMMAND ${name} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}
                                  ${PROJECT_SOURCE_DIR}/fuzz/crashers/${name})
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, in
# name order, so a module's tests or fuzz targets need no edit here.
macro(tessaro_add_subfolders)
  file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _children)
  foreach(_child IN LISTS _children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()
