# The demo's content: the build renders the pictures, writes the song, packs both into
# vexo.pak (enciphered, members LZSS-compressed where that pays) and links the archive
# into vexo as embedded block 102 "FileSystem", with the window icon as block 101.
set(VEXO_CONTENT ${CMAKE_CURRENT_BINARY_DIR}/content)
set(VEXO_PAK ${VEXO_CONTENT}/vexo.pak CACHE INTERNAL "")
set(VEXO_ICON ${VEXO_CONTENT}/icon.bmp)

# The scenes and masks as a library: the generator writes them, tests look at them.
file(GLOB vexo_art_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pictures/*.cc)
list(FILTER vexo_art_srcs EXCLUDE REGEX "/(main|output)\\.cc$")
add_library(vexo_art STATIC ${vexo_art_srcs})
target_include_directories(vexo_art PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/pictures)
# The generator is the slowest step of a fresh build; always optimise it.
target_compile_options(vexo_art PRIVATE -O2)
add_executable(vexo-pictures ${CMAKE_CURRENT_SOURCE_DIR}/pictures/main.cc ${CMAKE_CURRENT_SOURCE_DIR}/pictures/output.cc)
target_link_libraries(vexo-pictures PRIVATE vexo_art)
kestol_link(vexo-pictures LIBS kestol_authoring)
target_compile_options(vexo-pictures PRIVATE -O2)

file(GLOB vexo_song_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/song/*.cc)
add_executable(vexo-song ${vexo_song_srcs})
kestol_link(vexo-song LIBS kestol_authoring)
target_compile_options(vexo-song PRIVATE -O2)

set(vexo_picture_files)
foreach(i RANGE 1 16)
  if(i LESS 10)
    set(i "0${i}")
  endif()
  list(APPEND vexo_picture_files ${VEXO_CONTENT}/pak/${i}.jpg)
endforeach()
foreach(n o3 m3 o4 m4 o5 m5 logo mlogo)
  list(APPEND vexo_picture_files ${VEXO_CONTENT}/pak/${n}.jpg)
endforeach()

add_custom_command(
  OUTPUT ${vexo_picture_files} ${VEXO_ICON}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXO_CONTENT}/pak
  COMMAND vexo-pictures ${VEXO_CONTENT}/pak --icon ${VEXO_ICON}
  DEPENDS vexo-pictures
  COMMENT "Rendering the demo's pictures"
  VERBATIM)
add_custom_command(
  OUTPUT ${VEXO_CONTENT}/pak/vexo.xm
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXO_CONTENT}/pak
  COMMAND vexo-song ${VEXO_CONTENT}/pak/vexo.xm
  DEPENDS vexo-song
  COMMENT "Writing the demo's song"
  VERBATIM)
add_executable(vexo-pack ${CMAKE_CURRENT_SOURCE_DIR}/pack/pack.cc)
kestol_link(vexo-pack LIBS kestol_authoring)
add_custom_command(
  OUTPUT ${VEXO_PAK}
  COMMAND vexo-pack ${VEXO_PAK} ${vexo_picture_files} ${VEXO_CONTENT}/pak/vexo.xm
  DEPENDS vexo-pack ${vexo_picture_files} ${VEXO_CONTENT}/pak/vexo.xm
  COMMENT "Packing vexo.pak"
  VERBATIM)
add_custom_command(
  OUTPUT ${VEXO_CONTENT}/vexo_blocks.cc
  COMMAND ${CMAKE_COMMAND} -DPAK=${VEXO_PAK} -DICON=${VEXO_ICON} -DOUT=${VEXO_CONTENT}/vexo_blocks.cc
          -P ${CMAKE_CURRENT_SOURCE_DIR}/embed.cmake
  DEPENDS ${VEXO_PAK} ${VEXO_ICON} ${CMAKE_CURRENT_SOURCE_DIR}/embed.cmake
  COMMENT "Embedding vexo.pak and the icon"
  VERBATIM)
add_custom_target(vexo_content DEPENDS ${VEXO_PAK})

# The blocks table as objects (not an archive member: the host's weak empty table would
# win over a library's), shared by vexo and vexo-capture.
add_library(vexo_blocks OBJECT ${VEXO_CONTENT}/vexo_blocks.cc)
target_link_libraries(vexo_blocks PRIVATE kestol_includes)
set_source_files_properties(${VEXO_CONTENT}/vexo_blocks.cc PROPERTIES OBJECT_DEPENDS "${VEXO_PAK};${VEXO_ICON}")

if(KESTOL_SDL)
  add_executable(vexo $<TARGET_OBJECTS:kestol_entry> $<TARGET_OBJECTS:vexo_blocks>)
  kestol_link(vexo LIBS kestol_app DEMO kestol_demo HOST kestol_host_sdl)
  set_target_properties(vexo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endif()

# The start-up benchmark (bench/ is configured after this folder): it loads the demo's
# pictures with the demo's own loaders from the built archive, against libjpeg-turbo.
function(vexo_bench_rules)
  if(TARGET startup_bench)
    find_package(JPEG REQUIRED)
    add_dependencies(startup_bench vexo_content)
    target_link_libraries(startup_bench PRIVATE kestol_demo JPEG::JPEG)
    target_compile_definitions(startup_bench PRIVATE VEXO_PAK="${VEXO_PAK}")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL vexo_bench_rules)
