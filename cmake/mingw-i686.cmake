# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# cmake/mingw-x86_64.cmake reuses it for a 64-bit build (KESTOL_MINGW_ARCH), which serves
# the smoke test on machines that cannot run 32-bit code.
# The posix thread model is the one whose libstdc++ has std::thread and std::mutex; the
# whole link is static, so the programs need no DLL beyond the system's.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT KESTOL_MINGW_ARCH)
  set(KESTOL_MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${KESTOL_MINGW_ARCH})

set(KESTOL_MINGW_PREFIX ${KESTOL_MINGW_ARCH}-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${KESTOL_MINGW_PREFIX}-gcc-posix ${KESTOL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTOL_MINGW_PREFIX}-g++-posix ${KESTOL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTOL_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTOL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static C and C++ runtimes and winpthread; SSE2 for the float mixer (every CPU that runs
# today's Windows has it).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -D_USE_MATH_DEFINES")
# -Wno-restrict: GCC 12 warns falsely about std::string concatenation where size_t is 32
# bits (GCC bug 105329).
# _USE_MATH_DEFINES: M_PI and friends, which glibc gives by default and mingw only on request.
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -Wno-restrict -D_USE_MATH_DEFINES")
# 32-bit Windows keeps the stack only 4-byte aligned (thread entries, callbacks), while
# GCC's SSE code wants 16: realign where a function needs it.
if(KESTOL_MINGW_ARCH STREQUAL "i686")
  string(APPEND CMAKE_C_FLAGS_INIT " -mstackrealign")
  string(APPEND CMAKE_CXX_FLAGS_INIT " -mstackrealign")
endif()
# -O2 as the native builds use (GCC 12 at -O3 warns falsely about std::string copies);
# release programs carry no symbols.
set(CMAKE_C_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
