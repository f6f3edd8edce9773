# The layering of src/ and tools/ is part of the build's checks: the real tree keeps to
# it, and a planted tree shows the check failing on each kind of upward include.
add_test(NAME layering_of_the_tree
         COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -P ${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake)
add_test(NAME layering_check_fails_on_planted_upward_includes
         COMMAND ${CMAKE_COMMAND} -DCHECKER=${PROJECT_SOURCE_DIR}/cmake/check_layers.cmake
                 -DFIXTURE=${CMAKE_CURRENT_LIST_DIR}/fixture
                 -P ${CMAKE_CURRENT_LIST_DIR}/check_layers_cases.cmake)
set_tests_properties(layering_of_the_tree layering_check_fails_on_planted_upward_includes
                     PROPERTIES LABELS unit)
