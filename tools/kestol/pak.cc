// Placeholder until the command is built.
#include <cstdio>

#include "tools/kestol/commands.h"

int pak_command(int, char**) {
  std::fprintf(stderr, "kestol pak: not available in this build yet\n");
  return 2;
}
