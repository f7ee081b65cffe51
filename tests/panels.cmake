# The help, Browser Helper Object and support panels: their layouts without windows, and the
# panels themselves as child windows over redirected hives (under Xvfb).
add_velmora_test(panel_tests panel_layout_tests.cpp panel_window_tests.cpp
                 ${CMAKE_SOURCE_DIR}/tests/WindowResources.rc)
target_link_libraries(panel_tests PRIVATE velmora_ui)
