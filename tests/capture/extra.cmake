# The capture tool's own pieces, and the tool itself end to end.
if(TARGET test_capture)
  target_sources(test_capture PRIVATE ${PROJECT_SOURCE_DIR}/tools/capture/temp_files.cc)
endif()
if(TARGET test_capture_e2e)
  add_dependencies(test_capture_e2e vexo-capture)
  target_compile_definitions(test_capture_e2e PRIVATE VEXO_CAPTURE="$<TARGET_FILE:vexo-capture>")
endif()
