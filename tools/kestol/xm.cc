// Placeholder until the command is built.
#include <cstdio>

#include "tools/kestol/commands.h"

int xm_command(int, char**) {
  std::fprintf(stderr, "kestol xm: not available in this build yet\n");
  return 2;
}
