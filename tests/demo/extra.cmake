# The script's unit tests link the Vexo demo itself (the other test programs link the
# test demo, whose hooks would collide with it).
kestol_test_program(test_demo_script LABELS unit LIBS kestol_demo DEMO kestol_demo
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/demo/script_cases.cc ${CMAKE_CURRENT_SOURCE_DIR}/demo/loader_cases.cc)

# The end-to-end test drives vexo-capture and reads the archive it embeds.
if(TARGET test_demo_e2e)
  find_package(PNG REQUIRED)
  add_dependencies(test_demo_e2e vexo-capture vexo_content)
  target_link_libraries(test_demo_e2e PRIVATE PNG::PNG)
  target_compile_definitions(test_demo_e2e PRIVATE VEXO_CAPTURE="$<TARGET_FILE:vexo-capture>" VEXO_PAK="${VEXO_PAK}")
endif()

if(TARGET test_demo_window AND TARGET vexo)
  add_dependencies(test_demo_window vexo)
  target_compile_definitions(test_demo_window PRIVATE VEXO_PROGRAM="$<TARGET_FILE:vexo>")
elseif(TARGET test_demo_window)
  target_compile_definitions(test_demo_window PRIVATE VEXO_PROGRAM="")
endif()
