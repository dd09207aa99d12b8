# Helpers shared by the subsystem CMake files.

# Installed, the install directory is <prefix>/lib/kobaltron: the programs
# find it as the directory above their own "resource" directory.
set(KOBAL_INSTALL_DIR lib/kobaltron)
set(KOBAL_INSTALL_RESOURCE ${KOBAL_INSTALL_DIR}/resource)

# kobal_program(name SOURCES...) : a deliverable staged into resource/.
function(kobal_program name)
  add_executable(${name} ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOBAL_RESOURCE_DIR})
  install(TARGETS ${name} RUNTIME DESTINATION ${KOBAL_INSTALL_RESOURCE})
endfunction()

# kobal_test(name SOURCES... LIBS libs... [NEEDS targets...]) : one GoogleTest executable per library.
function(kobal_test name)
  if(NOT KOBAL_TESTS)
    return()
  endif()
  # QT_MAIN: the test brings a main() that creates the Qt application.
  # NEEDS: targets the test runs (programs, staged files), built before it.
  cmake_parse_arguments(T "QT_MAIN" "" "SOURCES;LIBS;PROPERTIES;NEEDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_NEEDS)
    add_dependencies(${name} ${T_NEEDS})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(T_QT_MAIN)
    target_link_libraries(${name} PRIVATE kobal_qt_test_main)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE
    KOBAL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/testdata"
    KOBAL_STAGE_DIR="${KOBAL_STAGE_DIR}")
  # Tests with a QApplication share the one X server of the test run; the
  # resource file lets only two of them use it at a time, as before, while
  # tests without a display fill the other slots.
  # A test that clicks through the X server asks for both slots, so that no
  # other test's window can come between its pointer and its target.
  if((T_QT_MAIN OR "xvfb" IN_LIST T_PROPERTIES) AND NOT "RESOURCE_GROUPS" IN_LIST T_PROPERTIES)
    list(APPEND T_PROPERTIES RESOURCE_GROUPS display:1)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${T_PROPERTIES})
endfunction()
