# File facts: name resolution, version information, the fingerprint tables and the
# detector's tests, with fixture DLLs whose version resources differ.

# A fixture DLL; kind picks its version strings (see filefacts_fixture.rc), 0 for none.
function(filefacts_fixture name kind)
  if(kind EQUAL 0)
    add_library(${name} SHARED filefacts_fixture.cpp)
  else()
    add_library(${name} SHARED filefacts_fixture.cpp filefacts_fixture.rc)
    target_compile_definitions(${name} PRIVATE FIXTURE_KIND=${kind})
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "")
endfunction()

filefacts_fixture(fixture_both 1)          # company name and description
filefacts_fixture(fixture_description 2)   # description only
filefacts_fixture(fixture_emptycompany 3)  # an empty company name
filefacts_fixture(fixture_product 4)       # product name only
filefacts_fixture(fixture_bare 0)          # no version resource at all

add_velmora_test(filefacts_tests
  filechecker_tests.cpp fileinfo_tests.cpp fingerprint_table_tests.cpp rodoraziva_tests.cpp)
target_link_libraries(filefacts_tests PRIVATE engine)
add_dependencies(filefacts_tests Velmora fixture_both fixture_description fixture_emptycompany
  fixture_product fixture_bare)
