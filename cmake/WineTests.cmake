# Tests are Windows console programs that ctest runs through Wine, in a prefix of the build
# folder (never the user's own): a 32-bit prefix for the 32-bit build, a 64-bit one for the
# 64-bit build that stands in where the host cannot run 32-bit Wine. The prefix is made once
# per build folder by a setup test, with a timeout; the wineserver is stopped by a cleanup test.
set(VLMR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix the tests run in")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VLMR_WINEARCH win64)
else()
  set(VLMR_WINEARCH win32)
endif()
set(VLMR_WINE_ENV
  WINEPREFIX=${VLMR_WINEPREFIX}
  WINEARCH=${VLMR_WINEARCH}
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml=")
set(VLMR_WINE_RUN ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh)

add_test(NAME wine_prefix_setup COMMAND ${VLMR_WINE_RUN} --setup)
set_tests_properties(wine_prefix_setup PROPERTIES
  FIXTURES_SETUP wine TIMEOUT 300 ENVIRONMENT "${VLMR_WINE_ENV}")
add_test(NAME wine_prefix_stop COMMAND ${VLMR_WINE_RUN} --stop)
set_tests_properties(wine_prefix_stop PROPERTIES
  FIXTURES_CLEANUP wine TIMEOUT 60 ENVIRONMENT "${VLMR_WINE_ENV}")

# add_wine_test(name target [TIMEOUT s])
function(add_wine_test name target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${VLMR_WINE_RUN} $<TARGET_FILE:${target}>)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${VLMR_WINE_ENV}")
endfunction()
