# The script's unit tests link the Vexo demo itself (the other test programs link the
# test demo, whose hooks would collide with it).
kestol_test_program(test_demo_script LABELS unit DEMO kestol_demo
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/demo/script_cases.cc ${CMAKE_CURRENT_SOURCE_DIR}/demo/loader_cases.cc)
