# The configuration settings table, its tab and the status icons.
add_velmora_test(settings_tests
  ${CMAKE_CURRENT_LIST_DIR}/settings_table_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_layout_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_panel_tests.cpp
  ${CMAKE_SOURCE_DIR}/ui/SettingsPanel.rc)
target_link_libraries(settings_tests PRIVATE velmora_ui)
