# bq_add_test(NAME SOURCES src... LIBS lib... [LABELS label...] [ENVIRONMENT VAR=value...]
#             [FIXTURES fixture...])
# One GoogleTest binary per folder; each case becomes a CTest test with the given labels
# (default: unit), environment and required CTest fixtures. The tests run with the folder's
# source directory as working directory.
function(bq_add_test name)
  if(NOT BQ_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT;FIXTURES" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(props LABELS "${T_LABELS}")
  if(T_ENVIRONMENT)
    list(APPEND props ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${props})
endfunction()
