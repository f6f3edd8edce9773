# xm_bench compares with libxmp and libopenmpt where they are installed.
if(TARGET xm_bench)
  kestol_link_module_peers(xm_bench)
endif()

# The JPEG benchmark's peers: libjpeg-turbo and Debian's stb_image library.
if(TARGET jpeg_bench)
  find_package(JPEG REQUIRED)
  find_library(STB_LIBRARY stb REQUIRED)
  target_link_libraries(jpeg_bench PRIVATE JPEG::JPEG ${STB_LIBRARY})
endif()
