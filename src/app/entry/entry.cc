// The program entry: answer --help and --version, otherwise record the arguments for the
// host and run the frame (which reads no option).
#include <cstdio>
#include <cstring>

#include "app/app.h"
#include "host/host.h"
#include "sound/song_position.h"

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
        "usage: %s [--start POSITION] [--help] [--version]\n\n"
        "Plays the demo full screen with its music and ends by itself when the music is over.\n"
        "Alt+Enter switches between full screen and a window; Escape or closing the window\n"
        "ends it early. Without a sound device the demo runs silently; without a display,\n"
        "`make capture` renders it to a video file.\n\n"
        "  --start POSITION  start with the music at ORDER[:ROW] (decimal, or hex as 0x0A:0x20,\n"
        "                    or 0x0A20 as the script writes it), as if it had played up to there\n",
        program_name(argv[0]));
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s %s\n", program_name(argv[0]), KESTOL_VERSION);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  // --start POSITION is taken out; whatever else is there goes to the frame as before.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--start") != 0) continue;
    if (i + 1 >= argc || !parse_song_position(argv[i + 1], &start_point.position)) {
      std::fprintf(stderr, "%s: --start needs a position ORDER[:ROW] of 0..255 each, as 5, 5:32 or 0x05:0x20\n",
                   program_name(argv[0]));
      return 2;
    }
    start_point.at_position = true;
    for (int j = i + 2; j <= argc; ++j) argv[j - 2] = argv[j];
    argc -= 2;
    --i;
  }
  host_set_arguments(argc, argv);
  return kestol_main();
}
