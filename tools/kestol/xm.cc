// Placeholder until the command is built.
#include <cstdio>
#include <cstring>

#include "tools/kestol/commands.h"

int xm_command(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "play") == 0) return xm_play_command(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol xm: not available in this build yet\n");
  return 2;
}
