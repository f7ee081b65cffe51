# The main window and the About window: the layouts without windows, then the windows in this
# process with the real panels (the test program carries their templates and pictures).
add_velmora_test(main_window_tests
  ${CMAKE_CURRENT_LIST_DIR}/main_layout_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_tests.cpp
  ${CMAKE_SOURCE_DIR}/tests/WindowResources.rc)
target_link_libraries(main_window_tests PRIVATE velmora_ui)

# The real program in a throw-away prefix, driven from outside by vlm_uidriver.
add_executable(vlm_uidriver ${CMAKE_CURRENT_LIST_DIR}/mainwin/uidriver.cpp ${CMAKE_CURRENT_LIST_DIR}/TestResources.rc)
target_link_options(vlm_uidriver PRIVATE -municode)
target_link_libraries(vlm_uidriver PRIVATE user32 gdi32 tessel)
add_dependencies(vlm_uidriver Velmora vlmcyclebho)
add_test(NAME main_window_program
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/mainwin/run-main-window.sh ${VLMR_DIST_DIR} ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/mainwin ${VLMR_WINEARCH})
set_tests_properties(main_window_program PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
