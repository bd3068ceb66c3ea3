# Shared build helpers.

# Adds a folder when it exists and is selected by TERN_COMPONENTS (paths from
# the top of the tree). A folder is selected when the list is empty, or names
# it, a folder above it, or a folder below it.
function(tern_add_component dir)
  set(path ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
  if(NOT EXISTS ${path}/CMakeLists.txt)
    return()
  endif()
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${path})
  if(TERN_COMPONENTS)
    set(selected FALSE)
    foreach(c IN LISTS TERN_COMPONENTS)
      string(FIND "${c}/" "${rel}/" parent_of_selected)
      string(FIND "${rel}/" "${c}/" child_of_selected)
      if(parent_of_selected EQUAL 0 OR child_of_selected EQUAL 0)
        set(selected TRUE)
      endif()
    endforeach()
    if(NOT selected)
      return()
    endif()
  endif()
  add_subdirectory(${dir})
endfunction()

# tern_add_unittest(NAME <target> SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest program beside the code it tests and registers it
# with CTest. Test programs are kept out of the program directory.
function(tern_add_unittest)
  if(NOT TERN_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock
                                          GTest::gtest_main)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                             ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
                       ENVIRONMENT "TERN_PROGRAM_DIR=${TERN_PROGRAM_DIR}")
endfunction()

# tern_test_runs_programs(<test> <program target>...): the test runs programs
# of the program directory (base/program_directory_for_testing.h), also when
# it is run on its own; the listed programs that are part of the build are
# built before it.
function(tern_test_runs_programs test)
  if(NOT TARGET ${test})
    return()
  endif()
  target_compile_definitions(${test} PRIVATE TERN_BUILD_PROGRAM_DIR="${TERN_PROGRAM_DIR}")
  # A program may be defined in a folder configured later: look once all are.
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
                            CALL tern_add_program_dependencies [[${test}]] ${ARGN})")
endfunction()

function(tern_add_program_dependencies test)
  foreach(program IN LISTS ARGN)
    if(TARGET ${program})
      add_dependencies(${test} ${program})
    endif()
  endforeach()
endfunction()
