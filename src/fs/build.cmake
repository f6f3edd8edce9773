# The directory file system's primitives (directory_os.h) come in one file per platform:
# the Win32 file functions on Windows, POSIX elsewhere.
if(WIN32)
  set(fs_platform_drop "/fs/directory_os_posix\\.cc$")
else()
  set(fs_platform_drop "/fs/directory_os_win32\\.cc$")
endif()
get_target_property(fs_srcs kestol_fs SOURCES)
list(FILTER fs_srcs EXCLUDE REGEX "${fs_platform_drop}")
set_property(TARGET kestol_fs PROPERTY SOURCES ${fs_srcs})
