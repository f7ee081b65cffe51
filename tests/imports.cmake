# What ships loads on the oldest Windows the program supports (no import beyond the XP floor)
# and its manifest asks for the build's own processor: read from the built files themselves.
add_test(NAME deliverables_check
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/imports/check-deliverables.sh ${CMAKE_OBJDUMP} ${VLMR_DIST_DIR}
          ${CMAKE_CURRENT_LIST_DIR}/imports/xp-floor.txt ${VLMR_MANIFEST_ARCH})
set_tests_properties(deliverables_check PROPERTIES TIMEOUT 60)
