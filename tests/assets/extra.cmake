# The asset programs as the build runs them.
if(TARGET test_assets_e2e)
  add_dependencies(test_assets_e2e vexo-pack vexo-pictures)
  target_compile_definitions(test_assets_e2e PRIVATE VEXO_PACK="$<TARGET_FILE:vexo-pack>"
                                                     VEXO_PICTURES="$<TARGET_FILE:vexo-pictures>")
endif()
