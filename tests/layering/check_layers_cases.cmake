# Runs the layering check on the planted tree beside this file: it must fail, report each
# planted fault (upward includes with their line and reason, a folder with no layer, a
# README that claims a use the layers forbid), and nothing that is allowed.
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
    "src/image/README.md: its \"May use:\" line differs from the layers (image may use: fs host)"
    "5 fault(s) in the layering")
  string(FIND "${text}" "${expected}" at)
  if(at EQUAL -1)
    string(APPEND failures "missing: ${expected}\n")
  endif()
endforeach()
foreach(allowed "upward.cc:2" "upward.cc:3" "fine.cc" "host.cc" "pak_writer.h" "fs/README.md"
        "demo/README.md" "host/README.md")
  string(FIND "${text}" "${allowed}" at)
  if(NOT at EQUAL -1)
    string(APPEND failures "reported an allowed include: ${allowed}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}--- the check said:\n${text}")
endif()
message("the check reports the five planted faults and nothing else")
