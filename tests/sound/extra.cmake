# The sound tests compare the mixer with a plain reference: no fused multiply-adds, and
# libxmp and libopenmpt as oracles for song lengths where they are installed.
target_compile_options(test_sound PRIVATE -ffp-contract=off)
kestol_link_module_peers(test_sound)
if(TARGET test_sound_e2e)
  target_compile_definitions(test_sound_e2e PRIVATE KESTOL_TOOL="$<TARGET_FILE:kestol>")
  add_dependencies(test_sound_e2e kestol)
  # The demo's own song, as the build writes it.
  if(TARGET vexo_content)
    get_filename_component(vexo_content_dir ${VEXO_PAK} DIRECTORY)
    target_compile_definitions(test_sound_e2e PRIVATE VEXO_SONG="${vexo_content_dir}/pak/vexo.xm")
    add_dependencies(test_sound_e2e vexo_content)
  endif()
endif()

# The audible position on the SDL audio device (SDL's disk driver, no sound card needed).
if(KESTOL_SDL)
  kestol_test_program(test_sound_sdl LABELS unit
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sound/music_output_sdl_sync.cc HOST kestol_host_sdl)
endif()
