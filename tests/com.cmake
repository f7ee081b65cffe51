# The two COM libraries: their registration with the system's regsvr32 in the test prefix,
# their type libraries and classes; then the real program's start-up in a prefix of its own.
add_velmora_test(com_tests com_tests.cpp)
target_link_libraries(com_tests PRIVATE tessel)
add_dependencies(com_tests TesselDll VLMRCustom)
# The round trip of registering and unregistering runs alone, before the libraries are
# registered for the tests that create their classes.
set_tests_properties(com_tests PROPERTIES FIXTURES_REQUIRED "wine;com")
add_test(NAME com_tests_registration
  COMMAND ${VLMR_WINE_RUN} $<TARGET_FILE:com_tests> --gtest_filter=Registration.*)
set_tests_properties(com_tests_registration PROPERTIES
  FIXTURES_REQUIRED wine TIMEOUT 300 ENVIRONMENT "${VLMR_WINE_ENV}")
set_tests_properties(com_tests PROPERTIES
  ENVIRONMENT "${VLMR_WINE_ENV};GTEST_FILTER=-Registration.*")
add_test(NAME com_register
  COMMAND sh -c "\"$0\" regsvr32 /s \"$1\" && \"$0\" regsvr32 /s \"$2\""
    ${VLMR_WINE_RUN} $<TARGET_FILE:TesselDll> $<TARGET_FILE:VLMRCustom>)
set_tests_properties(com_register PROPERTIES
  FIXTURES_SETUP com FIXTURES_REQUIRED wine DEPENDS com_tests_registration TIMEOUT 120
  ENVIRONMENT "${VLMR_WINE_ENV}")
# The real program starts in the build prefix too: it needs both libraries registered.
set_tests_properties(startup_tests PROPERTIES FIXTURES_REQUIRED "wine;com")

# The real program under a display, in a throw-away prefix: the start lines and the splash with
# both libraries registered; the critical message and nothing else with either unregistered.
add_executable(vlm_splashwatch ${CMAKE_CURRENT_LIST_DIR}/startup/splashwatch.cpp)
target_link_options(vlm_splashwatch PRIVATE -municode)
target_link_libraries(vlm_splashwatch PRIVATE tessel)
add_test(NAME startup_real
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/startup/run-startup.sh ${VLMR_DIST_DIR} ${CMAKE_BINARY_DIR}/bin
    ${CMAKE_BINARY_DIR}/startup-real ${VLMR_WINEARCH})
set_tests_properties(startup_real PROPERTIES TIMEOUT 600)
add_dependencies(vlm_splashwatch Velmora TesselDll VLMRCustom vlm_pressok vlm_uidriver)

# The splash window in this process (its picture comes with the test program).
add_velmora_test(splash_tests ${CMAKE_CURRENT_LIST_DIR}/splash_tests.cpp ${CMAKE_SOURCE_DIR}/ui/Splash.rc)
target_link_libraries(splash_tests PRIVATE velmora_ui)
