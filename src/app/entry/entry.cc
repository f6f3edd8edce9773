// The program entry: answer --help and --version, otherwise record the arguments for the
// host and run the frame (which reads no option).
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "host/host.h"

#ifndef KESTOL_VERSION
#define KESTOL_VERSION "0"
#endif

namespace {

const char* program_name(const char* argv0) {
  const char* name = argv0 != nullptr ? argv0 : "";
  for (const char* p = name; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return *name != '\0' ? name : "vexo";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: %s [--help] [--version]\n\n"
        "Plays the demo full screen with its music and ends by itself when the music is over.\n"
        "Alt+Enter switches between full screen and a window; Escape or closing the window\n"
        "ends it early. Without a sound device the demo runs silently; without a display,\n"
        "`make capture` renders it to a video file.\n",
        program_name(argv[0]));
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\n", program_name(argv[0]), KESTOL_VERSION);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  host_set_arguments(argc, argv);
  return kestol_main();
}
