# The threaded tests run the display under the frame and its render thread.
if(TARGET test_display_threaded)
  target_link_libraries(test_display_threaded PRIVATE kestol_app kestol_test_demo)
  set_target_properties(test_display_threaded PROPERTIES KESTOL_DEMO kestol_test_demo)
endif()
# The real-window test drives a program on the SDL host with a demo of its own.
if(KESTOL_SDL)
  add_library(kestol_pattern_demo STATIC ${CMAKE_CURRENT_SOURCE_DIR}/display/window_demo/pattern_demo.cc)
  target_link_libraries(kestol_pattern_demo PUBLIC kestol_app kestol_authoring)
  target_include_directories(kestol_pattern_demo PRIVATE ${PROJECT_SOURCE_DIR})
  add_executable(display_window_demo $<TARGET_OBJECTS:kestol_entry>)
  kestol_link(display_window_demo LIBS kestol_app DEMO kestol_pattern_demo HOST kestol_host_sdl)
  if(TARGET test_display_window)
    add_dependencies(test_display_window display_window_demo)
    target_compile_definitions(test_display_window PRIVATE
      DISPLAY_WINDOW_DEMO="$<TARGET_FILE:display_window_demo>")
  endif()
endif()
