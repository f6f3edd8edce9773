# `make run` against this tree: the source folder for make, this build for ninja.
if(TARGET test_build_e2e)
  target_compile_definitions(test_build_e2e PRIVATE KESTOL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                    KESTOL_BINARY_DIR="${PROJECT_BINARY_DIR}")
endif()
