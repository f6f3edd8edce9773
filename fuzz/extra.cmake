# Seeds for the image fuzz target: small pictures from the project's own encoder.
if(TARGET image_fuzz)
  file(COPY ${CMAKE_CURRENT_SOURCE_DIR}/seeds/image/ DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/corpus/image_fuzz)
endif()
# Seeds for the BMP and TGA targets: the header versions and row orders real tools write.
foreach(kind bmp tga)
  if(TARGET ${kind}_fuzz AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${kind})
    file(COPY ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${kind}/ DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/corpus/${kind}_fuzz)
  endif()
endforeach()
