# The web host and the browser build of vexo: vexo.js, vexo.worker.js and vexo.wasm (the
# archive embedded), with the page beside them in KESTOL_WEB_OUTPUT. The archive comes
# from a native build, which makes it with the project's own tools (see `make web`).
file(GLOB web_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cc)
add_library(kestol_host_web STATIC ${web_srcs} ${common_srcs} ${recorded_srcs})
target_link_libraries(kestol_host_web PUBLIC kestol_includes)

set(KESTOL_WEB_PAK "" CACHE FILEPATH "vexo.pak to embed into the browser build")
set(KESTOL_WEB_OUTPUT "${PROJECT_BINARY_DIR}/page" CACHE PATH "Where the page goes")
if(NOT EXISTS "${KESTOL_WEB_PAK}")
  message(STATUS "web: no archive given (KESTOL_WEB_PAK); only the host library is built")
  return()
endif()

set(web_blocks ${PROJECT_BINARY_DIR}/vexo_web_blocks.cc)
add_custom_command(
  OUTPUT ${web_blocks}
  COMMAND ${CMAKE_COMMAND} -DPAK=${KESTOL_WEB_PAK} -DOUT=${web_blocks}
          -P ${CMAKE_CURRENT_LIST_DIR}/embed_pak.cmake
  DEPENDS ${KESTOL_WEB_PAK} ${CMAKE_CURRENT_LIST_DIR}/embed_pak.cmake
  COMMENT "Embedding the archive"
  VERBATIM)

add_executable(vexo $<TARGET_OBJECTS:kestol_entry> ${web_blocks})
target_include_directories(vexo PRIVATE ${PROJECT_SOURCE_DIR}/src)
kestol_link(vexo LIBS kestol_app DEMO kestol_demo HOST kestol_host_web)
# The engine's threads (main, render, audio feeder) are web workers from a fixed pool;
# main runs in one of them so it may block, and starts when the page says so.
target_link_options(vexo PRIVATE
  -sPROXY_TO_PTHREAD=1 -sPTHREAD_POOL_SIZE=6 -sINITIAL_MEMORY=128MB
  -sINVOKE_RUN=0 -sEXIT_RUNTIME=1 -sENVIRONMENT=web,worker
  "-sEXPORTED_RUNTIME_METHODS=['callMain','UTF8ToString']"
  -sEXPORTED_FUNCTIONS=['_main'])
set_target_properties(vexo PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${KESTOL_WEB_OUTPUT})

# The page: copied beside the program whenever one of its files changes.
file(GLOB web_page_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/page/*)
set(web_page_outputs "")
foreach(page_file ${web_page_files})
  get_filename_component(name ${page_file} NAME)
  add_custom_command(OUTPUT ${KESTOL_WEB_OUTPUT}/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy ${page_file} ${KESTOL_WEB_OUTPUT}/${name}
                     DEPENDS ${page_file} VERBATIM)
  list(APPEND web_page_outputs ${KESTOL_WEB_OUTPUT}/${name})
endforeach()
add_custom_target(vexo_page ALL DEPENDS ${web_page_outputs})
