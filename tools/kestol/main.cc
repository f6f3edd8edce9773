// kestol: the toolbox. Each command lives in a file of its own.
#include <cstdio>
#include <cstring>

#include "tools/kestol/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

const Command commands[] = {
    {"pak", pak_command, "create, list, read and extract pak archives"},
    {"xm", xm_command, "inspect, render and play XM modules"},
    {"img", img_command, "inspect, decode and encode pictures"},
};

void usage(std::FILE* out) {
  std::fprintf(out, "usage: kestol <command> [arguments]\n\ncommands:\n");
  for (const Command& c : commands) std::fprintf(out, "  %-5s %s\n", c.name, c.summary);
  std::fprintf(out, "\n'kestol <command> --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    usage(stdout);
    return 0;
  }
  for (const Command& c : commands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol: unknown command '%s'\n", argv[1]);
  usage(stderr);
  return 2;
}
