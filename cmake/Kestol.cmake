# Build helpers shared by every folder.
find_package(Threads REQUIRED)

add_compile_options(-Wall -Wextra)
# The browser build runs the engine's threads as web workers on shared memory: every
# object is built for it.
if(EMSCRIPTEN)
  add_compile_options(-pthread)
  add_link_options(-pthread)
endif()
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

# The two bindings a program makes at link time. A library that uses the host links
# kestol_host, and the frame (kestol_app) links kestol_demo_hooks; each resolves to what
# the program linking them names in its KESTOL_HOST and KESTOL_DEMO properties (set by
# kestol_link), so the linker meets them after every library that calls into them.
add_library(kestol_host INTERFACE)
target_link_libraries(kestol_host INTERFACE "$<TARGET_PROPERTY:KESTOL_HOST>")
add_library(kestol_demo_hooks INTERFACE)
target_link_libraries(kestol_demo_hooks INTERFACE "$<TARGET_PROPERTY:KESTOL_DEMO>")

# Programs that name no host get the headless one; a Windows build has only the Win32 host.
if(WIN32)
  set(KESTOL_DEFAULT_HOST kestol_host_win32)
else()
  set(KESTOL_DEFAULT_HOST kestol_host_headless)
endif()

# kestol_link(target LIBS <libraries> [DEMO <demo lib>] [HOST <host lib>]): the engine
# libraries the program uses (each brings what it links), the host backend, and, for the
# programs that run the frame, the demo whose hooks it calls.
function(kestol_link target)
  cmake_parse_arguments(ARG "" "DEMO;HOST" "LIBS" ${ARGN})
  if(NOT ARG_HOST)
    set(ARG_HOST ${KESTOL_DEFAULT_HOST})
  endif()
  set_target_properties(${target} PROPERTIES KESTOL_HOST ${ARG_HOST})
  if(ARG_DEMO)
    set_target_properties(${target} PROPERTIES KESTOL_DEMO ${ARG_DEMO})
  endif()
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} ${ARG_DEMO} ${ARG_HOST})
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
