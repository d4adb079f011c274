# Helpers shared by every module's CMakeLists.

# tessaro_test(<name> SOURCES ... LIBS ...)
# One GoogleTest binary per module. Under the win32 configuration the binary
# runs under Wine through the crosscompiling emulator.
function(tessaro_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TESSARO_SOURCE_DIR=${PROJECT_SOURCE_DIR};TESSARO_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
