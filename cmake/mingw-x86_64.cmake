# Cross build for 64-bit Windows with mingw-w64 (g++-mingw-w64-x86-64): the same
# program as the 32-bit build, for the smoke test under a 64-bit-only wine.
set(KESTOL_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
