# The archive tool's end-to-end test runs the built kestol program.
if(TARGET test_fs_e2e)
  add_dependencies(test_fs_e2e kestol)
  target_compile_definitions(test_fs_e2e PRIVATE KESTOL_TOOL="$<TARGET_FILE:kestol>")
endif()
