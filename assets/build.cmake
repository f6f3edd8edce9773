# The demo's content: the build renders the pictures, writes the song, packs both into
# vexo.pak and turns the archive into the embedded-block table that vexo links.
file(GLOB vexo_picture_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pictures/*.cc)
add_executable(vexo-pictures ${vexo_picture_srcs})
target_link_libraries(vexo-pictures PRIVATE kestol_includes)
# The generator is the slowest step of a fresh build; always optimise it.
target_compile_options(vexo-pictures PRIVATE -O2)

file(GLOB vexo_song_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/song/*.cc)
add_executable(vexo-song ${vexo_song_srcs})
kestol_link(vexo-song)
target_compile_options(vexo-song PRIVATE -O2)
