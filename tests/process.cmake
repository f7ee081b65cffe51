# Process control: the process list, the termination of holders, renaming, the restart.
# Fixtures: a small DLL that holders load, and the holder process itself.
add_library(vlm_fixture SHARED process_fixture_dll.cpp process_fixture_dll.rc)
set_target_properties(vlm_fixture PROPERTIES PREFIX "" OUTPUT_NAME vlm_fixture)

add_executable(vlm_holder process_holder.cpp TestResources.rc)
target_link_options(vlm_holder PRIVATE -municode)
target_link_libraries(vlm_holder PRIVATE inspection)

add_velmora_test(process_tests process_enum_tests.cpp process_termination_tests.cpp process_rename_tests.cpp
                 process_reboot_tests.cpp ProcessTestSupport.cpp)
target_link_libraries(process_tests PRIVATE inspection)
add_dependencies(process_tests vlm_fixture vlm_holder)
