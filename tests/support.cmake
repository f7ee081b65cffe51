# The support request channel: whitelists, inventory, zip library and wrapper, the request.
# The support server and the archive checks are Python (standard library) on the host.
find_program(VLMR_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VLMR_PYTHON3)
  find_program(VLMR_PYTHON3 NAMES python3 REQUIRED)
endif()
add_velmora_test(support_tests support_whitelist_tests.cpp support_inventory_tests.cpp support_zip_tests.cpp
                 support_request_tests.cpp)
target_link_libraries(support_tests PRIVATE support)
target_compile_definitions(support_tests PRIVATE VLMR_PYTHON3="${VLMR_PYTHON3}"
                           VLMR_SUPPORT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/support_server.py")

# The progress window and the support tab's request, end to end against the same server.
add_velmora_test(support_panel_tests support_panel_tests.cpp ${CMAKE_SOURCE_DIR}/ui/SupportPanel.rc)
target_link_libraries(support_panel_tests PRIVATE velmora_ui)
target_compile_definitions(support_panel_tests PRIVATE VLMR_PYTHON3="${VLMR_PYTHON3}"
                           VLMR_SUPPORT_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/support_server.py")

# The real program sends a support request to the tests' loopback server.
add_test(NAME support_request_program
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/mainwin/run-support-request.sh ${VLMR_DIST_DIR} ${CMAKE_BINARY_DIR}/bin
          ${CMAKE_BINARY_DIR}/supportreq ${VLMR_WINEARCH} ${VLMR_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/support_server.py)
set_tests_properties(support_request_program PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
