// `kestol xm play` in a build where playing lives in a program of its own: only playing
// needs the desktop's audio library, and linking it into kestol would make every command
// pay its start-up. This hands the arguments on to that program beside kestol.
#ifdef KESTOL_PLAY_PROGRAM
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/kestol/commands.h"

namespace {

// The folder of the running kestol, with its closing "/", or "" when unknown.
std::string own_folder() {
  std::vector<char> path(4096);
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "";
  std::string text(path.data(), static_cast<std::size_t>(n));
  std::size_t slash = text.rfind('/');
  return slash == std::string::npos ? "" : text.substr(0, slash + 1);
}

}  // namespace

int xm_play_command(int argc, char** argv) {
  std::string program = own_folder() + KESTOL_PLAY_PROGRAM;
  std::vector<char*> arguments(argv, argv + argc);
  arguments.push_back(nullptr);
  std::fflush(nullptr);
  ::execv(program.c_str(), arguments.data());
  std::fprintf(stderr, "kestol xm play: cannot run '%s': %s\n", program.c_str(), std::strerror(errno));
  return 1;
}
#endif
