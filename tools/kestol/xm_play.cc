// kestol xm play FILE: plays a module on the audio device with a live line of the audible
// order position, row and time, until the song comes round again or Ctrl-C.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <unistd.h>

#include "host/audio.h"
#include "sound/music.h"
#include "tools/kestol/commands.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) { interrupted.store(true); }

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: kestol xm play [--loop] [--seconds N] [--no-sound] FILE\n\n"
               "Plays the module FILE on the audio device, showing the order position, row\n"
               "and time being heard. Ends when the song comes round to an earlier order\n"
               "position, after N seconds, or on Ctrl-C.\n\n"
               "  --loop       play on when the song comes round (until Ctrl-C)\n"
               "  --seconds N  stop after N seconds\n"
               "  --no-sound   open no audio device: the song runs on the clock, unheard\n"
               "Without an audio device the song runs unheard, as with --no-sound.\n");
}

bool read_file(const char* path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

}  // namespace

int xm_play_command(int argc, char** argv) {
  const char* path = nullptr;
  bool loop = false;
  bool sound = true;
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      usage(stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--loop") == 0) {
      loop = true;
    } else if (std::strcmp(argv[i], "--no-sound") == 0) {
      sound = false;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(seconds > 0)) {
        std::fprintf(stderr, "kestol xm play: '%s' is not a number of seconds\n", argv[i]);
        return 2;
      }
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "kestol xm play: unknown option '%s'\n", argv[i]);
      usage(stderr);
      return 2;
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "kestol xm play: one module at a time ('%s')\n", argv[i]);
      return 2;
    }
  }
  if (path == nullptr) {
    usage(stderr);
    return 2;
  }

  std::vector<std::uint8_t> bytes;
  if (!read_file(path, bytes)) {
    std::fprintf(stderr, "kestol xm play: can't read '%s'\n", path);
    return 1;
  }
  if (bytes.empty() || music_load(bytes.data(), static_cast<std::uint32_t>(bytes.size())) != 0) {
    std::fprintf(stderr, "kestol xm play: '%s' is not an XM module that can be played\n", path);
    return 1;
  }
  if (!(sound ? music_start() : music_start_silent())) {
    music_stop();
    std::fprintf(stderr, "kestol xm play: '%s' could not be started\n", path);
    return 1;
  }
  if (sound && !music_audible()) std::fputs("no audio device: playing without sound\n", stderr);

  interrupted.store(false);
  auto previous_int = std::signal(SIGINT, on_interrupt);
  auto previous_term = std::signal(SIGTERM, on_interrupt);
  const bool live = isatty(STDOUT_FILENO) != 0;
  const auto limit = std::chrono::duration<double>(seconds);
  const auto started = std::chrono::steady_clock::now();
  int highest_order = 0;
  int last_line_second = -1;
  const char* reason = "interrupted";
  for (;;) {
    std::uint16_t position = music_position();
    int order = position >> 8, row = position & 0xFF;
    if (order < highest_order && !loop) {
      reason = "song ended";
      break;
    }
    if (order > highest_order) highest_order = order;
    double heard = static_cast<double>(music_frames_played()) / kHostAudioRate;
    int minutes = static_cast<int>(heard / 60);
    if (live) {
      std::printf("\rorder %3d  row %3d  %d:%04.1f ", order, row, minutes, heard - minutes * 60);
      std::fflush(stdout);
    } else if (static_cast<int>(heard) != last_line_second) {
      last_line_second = static_cast<int>(heard);
      std::printf("order %3d  row %3d  %d:%02d\n", order, row, minutes,
                  static_cast<int>(heard) % 60);
      std::fflush(stdout);
    }
    if (interrupted.load()) break;
    if (seconds > 0 && std::chrono::steady_clock::now() - started >= limit) {
      reason = "time limit";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  music_stop();
  std::signal(SIGINT, previous_int);
  std::signal(SIGTERM, previous_term);
  std::printf("%sstopped (%s)\n", live ? "\n" : "", reason);
  return 0;
}
