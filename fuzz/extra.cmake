# Seeds for the image fuzz target: small pictures from the project's own encoder.
if(TARGET image_fuzz)
  file(COPY ${CMAKE_CURRENT_SOURCE_DIR}/seeds/image/ DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/corpus/image_fuzz)
endif()
