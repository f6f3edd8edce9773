// kestol xm play FILE: plays a module on the audio device with a live line of the audible
// order position, row and time, until the song comes round again or Ctrl-C.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "host/audio.h"
#include "sound/module.h"
#include "sound/music.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/commands.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) { interrupted.store(true); }

const CommandInfo play_command{
    "kestol xm play",
    "usage: kestol xm play [--loop] [--seconds N] [--no-sound] [--ft2] FILE\n\n"
    "Plays the module FILE on the audio device, showing the order position, row\n"
    "and time being heard. Ends when the song comes round to an earlier order\n"
    "position, after N seconds, or on Ctrl-C.\n\n"
    "  --loop       play on when the song comes round (until Ctrl-C)\n"
    "  --seconds N  stop after N seconds (0 to 86400; 0: no limit)\n"
    "  --no-sound   open no audio device: the song runs on the clock, unheard\n"
    "  --ft2        replay as FastTracker 2 did, quirks included (without it: the\n"
    "               engine's classic replay, as the demo plays)\n"
    "Without an audio device the song runs unheard, as with --no-sound.\n"};

}  // namespace

int xm_play_command(int argc, char** argv) {
  bool loop = false;
  bool silent = false, ft2 = false;
  const char* seconds_text = nullptr;
  std::vector<const char*> operands;
  int rc = parse_options(play_command, argc, argv,
                         {flag_option("--loop", &loop), flag_option("--no-sound", &silent),
                          flag_option("--ft2", &ft2), value_option("--seconds", &seconds_text)},
                         &operands);
  if (rc != parse_continue) return rc;
  double seconds = 0;
  if (seconds_text != nullptr &&
      !parse_number(play_command, "--seconds", seconds_text, 0, 24 * 3600, &seconds))
    return 2;
  if (operands.size() != 1) return usage_error(play_command, "wants one FILE");
  const char* path = operands[0];

  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!read_input_file(path, &bytes, &error)) {
    std::fprintf(stderr, "kestol xm play: can't read '%s': %s\n", escape_name(path).c_str(),
                 error.c_str());
    return 1;
  }
  if (bytes.empty() || music_load(bytes.data(), static_cast<std::uint32_t>(bytes.size())) != 0) {
    std::fprintf(stderr, "kestol xm play: '%s' is not an XM module that can be played\n", path);
    return 1;
  }
  player_set_replay_mode(*music_player(), ft2 ? ReplayMode::ft2 : ReplayMode::classic);
  if (!(silent ? music_start_silent() : music_start())) {
    music_stop();
    std::fprintf(stderr, "kestol xm play: '%s' could not be started\n", path);
    return 1;
  }
  if (!silent && !music_audible()) std::fputs("no audio device: playing without sound\n", stderr);

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
