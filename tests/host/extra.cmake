# The SDL host's translations link the SDL host rather than the headless one.
if(KESTOL_SDL)
  kestol_test_program(test_host_sdl LABELS unit
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/host/sdl_key_events.cc HOST kestol_host_sdl)
endif()
