# Checks the include graph of src/ and tools/ against the layers, from the bottom:
#   host; fs; image, sound, gfx; authoring and display; app; demo; tools.
# A folder includes only its own headers and those of the layers it may use (below);
# folders on one level do not include each other. Nothing includes tools/ but tools/.
#
#   cmake -DROOT=<tree holding src/ and tools/> -P check_layers.cmake
# prints every upward include as "file:line: <folder> includes <header> (<folder> may use:
# ...)" and fails when there is one, when a folder of src/ has no layer, or when a folder's
# README.md does not open the folder with the same "May use:" as the table below.

cmake_minimum_required(VERSION 3.25)

# What each folder may include besides itself.
set(uses_host "")
set(uses_fs host)
set(uses_image host fs)
set(uses_sound host fs)
set(uses_gfx host fs)
# The writers: only tools, assets, tests and benchmarks use them, never the runtime.
set(uses_authoring host fs image sound gfx)
set(uses_display host fs image sound gfx)
set(uses_app host fs image sound gfx display)
set(uses_demo host fs image sound gfx display app)
# The programs beside the frame and the demo: they may run the frame, and bind the demo
# at link time, but never include it.
set(uses_tools host fs image sound gfx authoring display app)
set(layers host fs image sound gfx authoring display app demo tools)

if(NOT ROOT)
  message(FATAL_ERROR "check_layers: give the tree as -DROOT=<dir>")
endif()
if(NOT IS_DIRECTORY "${ROOT}/src")
  message(FATAL_ERROR "check_layers: ${ROOT}/src is not a directory")
endif()

set(problems 0)
set(checked 0)

file(GLOB folders RELATIVE "${ROOT}/src" "${ROOT}/src/*")
foreach(folder ${folders})
  if(IS_DIRECTORY "${ROOT}/src/${folder}" AND NOT folder IN_LIST layers)
    message("src/${folder}/: a folder with no layer (add it to cmake/check_layers.cmake)")
    math(EXPR problems "${problems} + 1")
  endif()
endforeach()

# Each folder's README.md says what it may use, in the table's words.
foreach(folder ${folders})
  if(NOT IS_DIRECTORY "${ROOT}/src/${folder}" OR NOT folder IN_LIST layers)
    continue()
  endif()
  set(readme "${ROOT}/src/${folder}/README.md")
  if(NOT EXISTS "${readme}")
    message("src/${folder}/README.md: missing (it says what the folder holds and may use)")
    math(EXPR problems "${problems} + 1")
    continue()
  endif()
  file(STRINGS "${readme}" said REGEX "^May use: ")
  set(named "")
  if(said MATCHES "^May use: (.*)$")
    string(REGEX MATCHALL "`[a-z]+/`" quoted "${CMAKE_MATCH_1}")
    foreach(q ${quoted})
      string(REGEX REPLACE "`([a-z]+)/`" "\\1" q "${q}")
      list(APPEND named ${q})
    endforeach()
  endif()
  set(expected ${uses_${folder}})
  list(SORT named)
  list(SORT expected)
  if(NOT said OR NOT "${named}" STREQUAL "${expected}")
    string(REPLACE ";" " " expected_text "${expected}")
    message("src/${folder}/README.md: its \"May use:\" line differs from the layers (${folder} may use: ${expected_text})")
    math(EXPR problems "${problems} + 1")
  endif()
endforeach()

file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/src/*.h" "${ROOT}/src/*.cc"
     "${ROOT}/tools/*.h" "${ROOT}/tools/*.cc")
list(SORT files)
foreach(file ${files})
  if(file MATCHES "^tools/")
    set(layer tools)
  else()
    string(REGEX REPLACE "^src/([^/]+)/.*" "\\1" layer "${file}")
    if(NOT layer IN_LIST layers)
      continue()  # reported above
    endif()
  endif()
  set(allowed ${uses_${layer}})
  file(STRINGS "${ROOT}/${file}" lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(header "${CMAKE_MATCH_1}")
    math(EXPR checked "${checked} + 1")
    # A header beside the file ("temp_files.h") stays in its folder.
    if(NOT header MATCHES "^([^/]+)/")
      continue()
    endif()
    set(target "${CMAKE_MATCH_1}")
    if(target STREQUAL layer)
      continue()
    endif()
    if(target IN_LIST layers OR target STREQUAL "tests")
      if(NOT target IN_LIST allowed)
        string(REPLACE ";" " " allowed_text "${allowed}")
        if(allowed_text STREQUAL "")
          set(allowed_text "nothing else")
        endif()
        message("${file}:${number}: ${layer} includes ${header} (${layer} may use: ${allowed_text})")
        math(EXPR problems "${problems} + 1")
      endif()
    endif()
  endforeach()
endforeach()

if(problems GREATER 0)
  message(FATAL_ERROR "check_layers: ${problems} fault(s) in the layering")
endif()
message("check_layers: ${checked} includes of src/ and tools/ keep to the layers")
