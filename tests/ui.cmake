# The program shell: settings backup.
add_velmora_test(ui_tests ${CMAKE_CURRENT_LIST_DIR}/backup_tests.cpp)
target_link_libraries(ui_tests PRIVATE velmora_ui)
