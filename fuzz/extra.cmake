# Seeds for the image fuzz target: small pictures from the project's own encoder.
if(TARGET image_fuzz)
  file(COPY ${CMAKE_CURRENT_SOURCE_DIR}/seeds/image/ DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/corpus/image_fuzz)
endif()
# The archive tool's checks live with the tool; its fuzz target compiles them in.
if(TARGET pak_tool_fuzz)
  target_sources(pak_tool_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tools/kestol/cli.cc
                                       ${PROJECT_SOURCE_DIR}/tools/kestol/pak_checks.cc)
endif()
# Seeds for the BMP and TGA targets: the header versions and row orders real tools write;
# for the XM target, inputs that once broke its checks.
foreach(kind bmp tga xm)
  if(TARGET ${kind}_fuzz AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${kind})
    file(COPY ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${kind}/ DESTINATION ${CMAKE_CURRENT_BINARY_DIR}/corpus/${kind}_fuzz)
  endif()
endforeach()
