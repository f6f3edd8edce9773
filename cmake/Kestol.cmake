# Build helpers shared by every folder.
find_package(Threads REQUIRED)

add_compile_options(-Wall -Wextra)
if(KESTOL_SANITIZE)
  add_compile_options(-fsanitize=${KESTOL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${KESTOL_SANITIZE})
endif()
if(KESTOL_FUZZ)
  # Every object gets coverage so libFuzzer can steer into the parsers.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Include root for every engine library: headers are reached as "fs/stream.h" etc.
add_library(kestol_includes INTERFACE)
target_include_directories(kestol_includes INTERFACE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(kestol_includes INTERFACE Threads::Threads)

# One static library per folder, from every .cc in it (and below it, unless EXCLUDE names
# a sub-folder that builds on its own).
function(kestol_library name dir)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cc)
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${dir}/${ex}/")
  endforeach()
  if(NOT srcs)
    set(srcs ${PROJECT_SOURCE_DIR}/cmake/empty.cc)
  endif()
  add_library(${name} STATIC ${srcs})
  target_link_libraries(${name} PUBLIC kestol_includes)
endfunction()

# The engine's folders call each other (the frame calls the display, the file systems call
# fatal_error, ...), so a program links them as one group that the linker rescans.
set(KESTOL_ENGINE_LIBS kestol_app kestol_gfx kestol_fs kestol_sound kestol_image kestol_display)

# Programs that name no host get the headless one; a Windows build has only the Win32 host.
if(WIN32)
  set(KESTOL_DEFAULT_HOST kestol_host_win32)
else()
  set(KESTOL_DEFAULT_HOST kestol_host_headless)
endif()

# kestol_link(target DEMO <demo lib> HOST <host lib>): the engine, the demo whose hooks the
# frame calls, and the host backend, bound at link time.
function(kestol_link target)
  cmake_parse_arguments(ARG "" "DEMO;HOST" "" ${ARGN})
  if(NOT ARG_DEMO)
    set(ARG_DEMO kestol_placeholder_demo)
  endif()
  if(NOT ARG_HOST)
    set(ARG_HOST ${KESTOL_DEFAULT_HOST})
  endif()
  target_link_libraries(${target} PRIVATE
    "$<LINK_GROUP:RESCAN,${ARG_DEMO},${KESTOL_ENGINE_LIBS},${ARG_HOST}>")
endfunction()

# libxmp and libopenmpt, where installed, as oracles (tests) and peers (benchmarks) of the
# replayer: linked into target, with KESTOL_HAVE_XMP / KESTOL_HAVE_OPENMPT defined.
function(kestol_link_module_peers target)
  find_package(PkgConfig QUIET)
  if(NOT PkgConfig_FOUND)
    return()
  endif()
  pkg_check_modules(KESTOL_XMP QUIET IMPORTED_TARGET libxmp)
  pkg_check_modules(KESTOL_OPENMPT QUIET IMPORTED_TARGET libopenmpt)
  if(KESTOL_XMP_FOUND)
    target_link_libraries(${target} PRIVATE PkgConfig::KESTOL_XMP)
    target_compile_definitions(${target} PRIVATE KESTOL_HAVE_XMP=1)
  endif()
  if(KESTOL_OPENMPT_FOUND)
    target_link_libraries(${target} PRIVATE PkgConfig::KESTOL_OPENMPT)
    target_compile_definitions(${target} PRIVATE KESTOL_HAVE_OPENMPT=1)
  endif()
endfunction()
