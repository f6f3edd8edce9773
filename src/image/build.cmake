# The JPEG decoder's hot loops want full unrolling and vectorisation in optimised builds.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  set_source_files_properties(
    ${CMAKE_CURRENT_SOURCE_DIR}/image/jpeg_idct.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/image/jpeg_colour.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/image/jpeg_decode.cc
    ${CMAKE_CURRENT_SOURCE_DIR}/image/jpeg_scan.cc
    TARGET_DIRECTORY kestol_image
    PROPERTIES COMPILE_OPTIONS -O3)
endif()
