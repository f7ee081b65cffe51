# Device names where files are expected. A device that blocks would hang the program: the
# short timeout turns that into a failure.
add_velmora_test(device_tests device_tests.cpp)
target_link_libraries(device_tests PRIVATE inspection)
set_tests_properties(device_tests PROPERTIES TIMEOUT 60)
