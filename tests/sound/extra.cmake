# The audible position on the SDL audio device (SDL's disk driver, no sound card needed).
if(KESTOL_SDL)
  kestol_test_program(test_sound_sdl LABELS unit
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sound/music_output_sdl_sync.cc HOST kestol_host_sdl)
endif()
