# The detection run, the registry managers and the cleanup.
function(mscorp_fixture name kind)
  add_library(${name} SHARED filefacts_fixture.cpp mscorp_fixture.rc)
  target_compile_definitions(${name} PRIVATE FIXTURE_KIND=${kind})
  set_target_properties(${name} PROPERTIES PREFIX "")
endfunction()
mscorp_fixture(fixture_mscorp 1)
mscorp_fixture(fixture_mscaps 2)

add_velmora_test(detection_tests bho_manager_tests.cpp startup_manager_tests.cpp detection_run_tests.cpp)
target_link_libraries(detection_tests PRIVATE engine)
add_dependencies(detection_tests fixture_mscorp fixture_mscaps fixture_both fixture_bare)

add_velmora_test(cleanup_tests restore_tests.cpp cleanup_tests.cpp ProcessTestSupport.cpp)
target_link_libraries(cleanup_tests PRIVATE engine)
add_dependencies(cleanup_tests fixture_both fixture_bare vlm_holder)
