// kestol: the toolbox. Each command lives in a file of its own.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "tools/kestol/cli.h"
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
  std::fprintf(out, "\n'kestol <command> --help' describes a command; 'kestol --version' names\n"
                   "this version.\n");
}

int run(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    usage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("kestol %s\n", kestol_version());
    return stdout_ok("kestol") ? 0 : 1;
  }
  for (const Command& c : commands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol: unknown command '%s'\n", escape_name(argv[1]).c_str());
  usage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Errors are results throughout; this is the last guard against one that escaped (an
  // allocation the machine cannot give), so the tool still ends with a message.
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "kestol: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestol: %s\n", e.what());
  }
  return 1;
}
