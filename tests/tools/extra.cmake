# The toolbox's end-to-end tests run the built kestol program; its unit tests compile the
# toolbox's shared command-line helpers.
if(TARGET test_tools_e2e)
  add_dependencies(test_tools_e2e kestol)
  target_compile_definitions(test_tools_e2e PRIVATE KESTOL_TOOL="$<TARGET_FILE:kestol>")
endif()
if(TARGET test_tools)
  target_sources(test_tools PRIVATE ${PROJECT_SOURCE_DIR}/tools/kestol/cli.cc)
endif()
if(TARGET test_tools_e2e AND KESTOL_SDL)
  target_compile_definitions(test_tools_e2e PRIVATE KESTOL_PLAYS_THROUGH_SDL=1)
endif()
