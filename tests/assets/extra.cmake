# The asset programs as the build runs them.
if(TARGET test_assets_e2e)
  add_dependencies(test_assets_e2e vexo-pack vexo-pictures)
  target_compile_definitions(test_assets_e2e PRIVATE VEXO_PACK="$<TARGET_FILE:vexo-pack>"
                                                     VEXO_PICTURES="$<TARGET_FILE:vexo-pictures>")
endif()

# The content tests look at the generator's own renders, before any encoding.
if(TARGET test_assets)
  target_link_libraries(test_assets PRIVATE vexo_art)
endif()
