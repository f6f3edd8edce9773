# Runs the layering check on the planted tree beside this file: it must fail, report each
# planted upward include with its line and the reason, and nothing that is allowed.
#   cmake -DCHECKER=<check_layers.cmake> -DFIXTURE=<tree> -P check_layers_cases.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${FIXTURE} -P ${CHECKER}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(text "${out}${err}")
set(failures "")
if(result EQUAL 0)
  string(APPEND failures "the check passed a tree with upward includes\n")
endif()
foreach(expected
    "src/fs/upward.cc:4: fs includes app/fatal.h (fs may use: host)"
    "src/image/sideways.h:2: image includes sound/module.h (image may use: host fs)"
    "tools/sample/tool.cc:3: tools includes demo/demo.h"
    "src/scratch/: a folder with no layer"
    "4 upward include(s) or unplaced folder(s)")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    string(APPEND failures "missing: ${expected}\n")
  endif()
endforeach()
foreach(allowed "upward.cc:2" "upward.cc:3" "fine.cc" "host.cc" "pak_writer.h")
  string(FIND "${text}" "${allowed}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "reported an allowed include: ${allowed}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}--- the check said:\n${text}")
endif()
message("the check reports the four planted faults and nothing else")
