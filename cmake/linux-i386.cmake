# The engine built as 32-bit x86 Linux code (gcc -m32 from Debian's gcc-multilib and
# g++-multilib), so its tests run as the 32-bit program the demo ships as: 32-bit size_t and
# pointers, 4-byte stack alignment at the C library's entry points.
# SSE2 with SSE arithmetic, as the Windows build: the pixel kernels use SSE2 intrinsics, and
# the float mixer then rounds every operation to single or double precision as the 64-bit
# build does. With x87 arithmetic (-mfpmath=387) its intermediates keep 80 bits wherever the
# compiler leaves them in registers, and the mixer no longer matches its plain reference.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")

# Only 32-bit libraries: the 64-bit ones of the host (libpng, libjpeg, libxmp, GoogleTest)
# would be found through the shared headers and fail at link time. GoogleTest comes from
# its own 32-bit build (GTest_DIR); pkg-config looks only at the i386 folder.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu
    /usr/lib/x86_64-linux-gnu/cmake /usr/lib/cmake)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig)
set(CMAKE_FIND_PACKAGE_PREFER_CONFIG ON)
