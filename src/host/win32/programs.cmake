# The Windows programs: vexo.exe (GUI subsystem, icon 101 and vexo.pak as resource 102 of
# type "FileSystem") and vexo-plain.exe, the same program without the archive (it looks
# for vexo.pak on disk). The archive and the icon come from a native build, which makes
# them with the project's own tools (see the Makefile's `windows` target).
enable_language(RC)
set(KESTOL_WINDOWS_PAK "" CACHE FILEPATH "vexo.pak to embed into vexo.exe")
set(KESTOL_WINDOWS_ICON "" CACHE FILEPATH "The window icon as a 32-bit BMP")

if(NOT EXISTS "${KESTOL_WINDOWS_PAK}" OR NOT EXISTS "${KESTOL_WINDOWS_ICON}")
  message(STATUS "vexo.exe: no archive/icon given (KESTOL_WINDOWS_PAK, KESTOL_WINDOWS_ICON); "
                 "only kestol.exe is built")
  return()
endif()

set(vexo_ico ${PROJECT_BINARY_DIR}/vexo.ico)
add_custom_command(
  OUTPUT ${vexo_ico}
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/bmp_to_ico.sh ${KESTOL_WINDOWS_ICON} ${vexo_ico}
  DEPENDS ${KESTOL_WINDOWS_ICON} ${CMAKE_CURRENT_LIST_DIR}/bmp_to_ico.sh
  COMMENT "Making the window icon"
  VERBATIM)

function(kestol_windows_demo target with_archive)
  set(VEXO_RC_PROGRAM ${target}.exe)
  set(VEXO_RC_ICON ${vexo_ico})
  if(with_archive)
    set(VEXO_RC_ARCHIVE_LINE "102 FileSystem \"${KESTOL_WINDOWS_PAK}\"")
  else()
    set(VEXO_RC_ARCHIVE_LINE "// no archive: the program reads vexo.pak from disk")
  endif()
  set(rc ${PROJECT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/vexo.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${vexo_ico};${KESTOL_WINDOWS_PAK}")
  add_executable(${target} WIN32 $<TARGET_OBJECTS:kestol_entry> ${rc})
  kestol_link(${target} LIBS kestol_demo DEMO kestol_demo HOST kestol_host_win32)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()

kestol_windows_demo(vexo ON)
kestol_windows_demo(vexo-plain OFF)

# Checks of the host that need the real platform (tests/windows/smoke.sh runs them).
set(HOST_CHECK_BLOCK ${PROJECT_SOURCE_DIR}/tests/windows/hello.txt)
set(HOST_CHECK_ICON ${vexo_ico})
configure_file(${PROJECT_SOURCE_DIR}/tests/windows/win32_host_check.rc.in
               ${PROJECT_BINARY_DIR}/win32-host-check.rc @ONLY)
set_source_files_properties(${PROJECT_BINARY_DIR}/win32-host-check.rc PROPERTIES
                            OBJECT_DEPENDS "${vexo_ico};${HOST_CHECK_BLOCK}")
add_executable(win32-host-check ${PROJECT_SOURCE_DIR}/tests/windows/win32_host_check.cc
               ${PROJECT_BINARY_DIR}/win32-host-check.rc)
kestol_link(win32-host-check LIBS kestol_fs HOST kestol_host_win32)
set_target_properties(win32-host-check PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
