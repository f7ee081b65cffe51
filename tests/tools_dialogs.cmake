# The Tools menu's windows: Zazi Dururuv and Restore Removed Programs.
add_velmora_test(tools_dialog_tests safe_remover_text_tests.cpp safe_remover_tests.cpp restore_files_tests.cpp
                 ProcessTestSupport.cpp tools_dialog_tests.rc)
target_link_libraries(tools_dialog_tests PRIVATE velmora_ui support)
add_dependencies(tools_dialog_tests vlm_fixture vlm_holder)
