# owl_test_suite(NAME SOURCES file... [LIBRARIES lib...] [PREFIX text] [TIMEOUT seconds])
# Declares a GoogleTest program linked with our warnings and GoogleTest, and registers each of its
# cases with ctest, each in its own process (so process-wide state starts fresh) and each with a
# time-out (120 s unless given), so that a hung case fails instead of stalling the run.
function(owl_test_suite name)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} owl_warnings GTest::gtest GTest::gmock
                                        GTest::gtest_main)
  gtest_discover_tests(${name} TEST_PREFIX "${ARG_PREFIX}" DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()
