# The Win32 host: the platform's window, message queue, wave-out, DirectDraw, DIB section
# and DrawDib, files and resources. DDRAW, GDI32 and MSVFW32 are loaded at run time.
file(GLOB win32_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cc)
add_library(kestol_host_win32 STATIC ${win32_srcs})
target_link_libraries(kestol_host_win32 PUBLIC kestol_includes winmm)

# The directory file system's primitives on the Win32 file functions (backslash paths)
# take the place of the POSIX ones in kestol_fs.
get_target_property(fs_srcs kestol_fs SOURCES)
list(FILTER fs_srcs EXCLUDE REGEX "/fs/directory_os_posix\\.cc$")
set_property(TARGET kestol_fs PROPERTY SOURCES ${fs_srcs})
target_sources(kestol_fs PRIVATE ${CMAKE_CURRENT_LIST_DIR}/fs/directory_os_win32.cc)

include(${CMAKE_CURRENT_LIST_DIR}/programs.cmake)
