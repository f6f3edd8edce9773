// Placeholder until the command is built.
#include <cstdio>

#include "tools/kestol/commands.h"

int img_command(int, char**) {
  std::fprintf(stderr, "kestol img: not available in this build yet\n");
  return 2;
}
