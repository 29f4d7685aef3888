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
  if(T_ENV)
    list(APPEND props ENVIRONMENT "${T_ENV}")
  endif()
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
endfunction()
