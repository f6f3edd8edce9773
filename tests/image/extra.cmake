# libjpeg-turbo serves the image tests as an oracle when it is installed.
find_package(JPEG)
if(JPEG_FOUND AND TARGET test_image)
  target_link_libraries(test_image PRIVATE JPEG::JPEG)
  target_compile_definitions(test_image PRIVATE KESTOL_HAVE_LIBJPEG=1)
endif()
