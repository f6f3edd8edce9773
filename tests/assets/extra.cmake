# The content tests look at the generator's own renders, before any encoding.
if(TARGET test_assets)
  target_link_libraries(test_assets PRIVATE vexo_art)
endif()
