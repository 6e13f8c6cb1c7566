# bq_add_test(NAME SOURCES src... LIBS lib... [LABELS label...] [ENVIRONMENT VAR=value...]
#             [FIXTURES fixture...] [RESOURCE_LOCK resource...])
# One GoogleTest binary per folder; each case becomes a CTest test with the given labels
# (default: unit), environment, required CTest fixtures and resource locks (tests that
# lock the same resource never run at the same time, e.g. "processes" for tests that end
# processes by name). The tests run with the folder's
# source directory as working directory.
function(bq_add_test name)
  if(NOT BQ_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENVIRONMENT;FIXTURES;RESOURCE_LOCK" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  # process_scope.cpp: the test ends processes by name only among its own.
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/common/testing/process_scope.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(props LABELS "${T_LABELS}")
  if(T_ENVIRONMENT)
    # The test discovery passes properties on as flat lists, which splits an
    # ENVIRONMENT of several VAR=value pairs; running the binary (for discovery
    # and for every case) through `cmake -E env` keeps them together.
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${T_ENVIRONMENT}")
  endif()
  if(T_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${props})
endfunction()

# bq_add_corpus_test(NAME SOURCES src... LIBS lib... [LABELS label...] [RESOURCE_LOCK resource...])
# A GoogleTest binary over the real-world corpus (common/testing/corpus.h), registered as
# one CTest test labelled `corpus` (and LABELS). Without the corpus it is skipped as a
# whole (exit code 77), except under CI=true, where it fails.
function(bq_add_corpus_test name)
  if(NOT BQ_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;RESOURCE_LOCK" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} bq_corpus_main GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  # Each list-valued property is set on its own: a list inside the PROPERTIES
  # arguments would be split into separate arguments.
  set(labels corpus ${T_LABELS})
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" SKIP_RETURN_CODE 77)
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()
