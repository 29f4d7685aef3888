# One function registers every test binary: tkx_add_test(NAME LABEL label SOURCES ... [LIBS ...]
# [ENV ...] [FIXTURES ...] [WRAPPER ...]). Each GoogleTest case becomes its own ctest test.
find_package(GTest REQUIRED)
include(GoogleTest)

function(tkx_add_test name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV;FIXTURES;WRAPPER" ${ARGN})
  if(NOT T_LABEL MATCHES "^(unit|integration|gui)$")
    message(FATAL_ERROR "tkx_add_test(${name}): LABEL must be unit, integration or gui")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(props LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  if(T_WRAPPER)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${T_WRAPPER}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
  if(T_ENV)
    # test discovery splits list-valued properties, keeping only the first NAME=value:
    # set the environment on the discovered tests after their own include file
    set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_env.cmake)
    file(WRITE ${env_file} "if(${name}_TESTS)\n"
      "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${T_ENV}]==])\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
  endif()
endfunction()

# A private X server for the gui tests: two plain tests start and stop it as the
# ctest fixture "display". The display number is written to TKX_DISPLAY_FILE (set in
# the caller's scope), which the gui test binaries read; listing their tests at build
# time needs no display. Safe to call from several directories.
function(tkx_add_display_fixture)
  set(dir ${PROJECT_BINARY_DIR}/xvfb)
  set(TKX_DISPLAY_FILE ${dir}/display PARENT_SCOPE)
  get_property(done GLOBAL PROPERTY TKX_DISPLAY_FIXTURE)
  if(done)
    return()
  endif()
  set_property(GLOBAL PROPERTY TKX_DISPLAY_FIXTURE ON)
  set(script ${PROJECT_SOURCE_DIR}/tests/support/xvfb-fixture.sh)
  add_test(NAME display_start COMMAND bash ${script} start ${dir})
  add_test(NAME display_stop COMMAND bash ${script} stop ${dir})
  set_tests_properties(display_start PROPERTIES FIXTURES_SETUP display LABELS gui TIMEOUT 30)
  set_tests_properties(display_stop PROPERTIES FIXTURES_CLEANUP display LABELS gui TIMEOUT 30)
endfunction()
