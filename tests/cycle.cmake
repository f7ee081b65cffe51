# The whole infected-machine cycle: real program, real message boxes, real restart request,
# in a throw-away prefix of its own.
add_executable(vlm_pressok ${CMAKE_CURRENT_LIST_DIR}/cycle/pressok.cpp ${CMAKE_CURRENT_LIST_DIR}/TestResources.rc)
target_link_options(vlm_pressok PRIVATE -municode)
target_link_libraries(vlm_pressok PRIVATE user32 tessel)
add_library(vlmcyclebho SHARED ${CMAKE_CURRENT_LIST_DIR}/cycle/cyclebho.cpp)
set_target_properties(vlmcyclebho PROPERTIES PREFIX "" OUTPUT_NAME vlmcyclebho)
add_executable(vlmcycleholder ${CMAKE_CURRENT_LIST_DIR}/cycle/cycleholder.cpp)
target_link_options(vlmcycleholder PRIVATE -municode)
target_link_libraries(vlmcycleholder PRIVATE tessel)

add_test(NAME whole_cycle
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/cycle/run-cycle.sh ${VLMR_DIST_DIR} ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/cycle ${VLMR_WINEARCH})
set_tests_properties(whole_cycle PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
add_dependencies(vlm_pressok Velmora vlmcyclebho vlmcycleholder vlm_uidriver)
