# `kestol img` reads and writes PNG through libpng. The Windows cross build has no libpng
# and does without PNG files.
if(CMAKE_CROSSCOMPILING)
  find_package(PNG)
else()
  find_package(PNG REQUIRED)
endif()
if(PNG_FOUND)
  target_link_libraries(kestol PRIVATE PNG::PNG)
  target_compile_definitions(kestol PRIVATE KESTOL_HAVE_PNG)
endif()
target_compile_definitions(kestol PRIVATE KESTOL_VERSION="${PROJECT_VERSION}")
