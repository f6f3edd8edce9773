// kestol-xm-play: `kestol xm play` as a program of its own, the one part of the toolbox
// that links the desktop's audio library; kestol hands `xm play` on to it.
#include <cstdio>
#include <exception>
#include <new>

#include "tools/kestol/commands.h"

int main(int argc, char** argv) {
  try {
    return xm_play_command(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "kestol xm play: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kestol xm play: %s\n", e.what());
  }
  return 1;
}
