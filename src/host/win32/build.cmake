# The Win32 host: the platform's window, message queue, wave-out, DirectDraw, DIB section
# and DrawDib, and resources. DDRAW, GDI32 and MSVFW32 are loaded at run time.
file(GLOB win32_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cc)
add_library(kestol_host_win32 STATIC ${win32_srcs})
target_link_libraries(kestol_host_win32 PUBLIC kestol_includes winmm)

include(${CMAKE_CURRENT_LIST_DIR}/programs.cmake)
