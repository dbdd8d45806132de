# Wine for the end-to-end tests of a Windows build (label "wine").
#
# include() this from any CMakeLists.txt of a Windows build that adds Wine tests. It sets
#   WINE_TESTS_BITS    32 or 64, the bitness of this build, for tests/e2e/wine_env.sh
#   WINE_TESTS_PREFIX  the one Wine prefix of this build tree
# and, once per build, adds the fixture "wine_prefix": a fresh prefix made before the first
# test that requires it (FIXTURES_REQUIRED wine_prefix) and ended after the last one, so that
# every ctest run pays for one prefix (about 16 s) rather than one per test.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(WINE_TESTS_BITS 32)
else()
  set(WINE_TESTS_BITS 64)
endif()
set(WINE_TESTS_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)

get_property(wine_fixture_added GLOBAL PROPERTY WINE_TESTS_FIXTURE_ADDED)
if(NOT wine_fixture_added)
  set_property(GLOBAL PROPERTY WINE_TESTS_FIXTURE_ADDED TRUE)
  add_test(NAME wine_prefix_create
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine_prefix.sh create ${WINE_TESTS_PREFIX})
  add_test(NAME wine_prefix_end
    COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wine_prefix.sh end ${WINE_TESTS_PREFIX})
  set_tests_properties(wine_prefix_create PROPERTIES
    LABELS "wine" FIXTURES_SETUP wine_prefix TIMEOUT 300)
  set_tests_properties(wine_prefix_end PROPERTIES
    LABELS "wine" FIXTURES_CLEANUP wine_prefix TIMEOUT 60)
endif()
