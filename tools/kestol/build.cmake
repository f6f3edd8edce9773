# `kestol img` reads and writes PNG through libpng.
find_package(PNG REQUIRED)
target_link_libraries(kestol PRIVATE PNG::PNG)
