// kestol xm play FILE: plays a module on the audio device with a live line of the audible
// order position, row and time, until the song comes round again, q or Ctrl-C; the arrow
// keys and Home seek by orders.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <termios.h>
#endif
#include <unistd.h>

#include "host/audio.h"
#include "sound/module.h"
#include "sound/music.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/commands.h"
#include "tools/kestol/song_start.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int) { interrupted.store(true); }

const CommandInfo play_command{
    "kestol xm play",
    "usage: kestol xm play [--loop] [--seconds N] [--no-sound] [--ft2]\n"
    "                      [--start ORDER:ROW | --start-seconds S] FILE\n\n"
    "Plays the module FILE on the audio device, showing the order position, row\n"
    "and time being heard. Ends when the song comes round to an earlier order\n"
    "position, after N seconds, or on Ctrl-C.\n\n"
    "  --loop       play on when the song comes round (until Ctrl-C)\n"
    "  --seconds N  stop after N seconds (0 to 86400; 0: no limit)\n"
    "  --no-sound   open no audio device: the song runs on the clock, unheard\n"
    "  --ft2        replay as FastTracker 2 did, quirks included (without it: the\n"
    "               engine's classic replay, as the demo plays)\n"
    "  --start ORDER:ROW  begin where the song first plays that row (decimal, or hex\n"
    "               as 0x0A:0x20), as if it had played up to there\n"
    "  --start-seconds S  begin S seconds into the song\n"
    "On a terminal the arrow keys move by an order, Home goes back to the start and\n"
    "q stops.\n"
    "Without an audio device the song runs unheard, as with --no-sound.\n"};

// Keys from a terminal on standard input, read without waiting: the arrows, Home and q.
// A Windows console has no termios: there the song plays without keys.
enum class Key { none, left, right, home, quit };

#ifdef _WIN32
// The Windows console has no termios: no keys there, the song plays on.
class TerminalKeys {
 public:
  Key next() { return Key::none; }
};
#else
class TerminalKeys {
 public:
  TerminalKeys() {
#ifndef _WIN32
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // Ctrl-C still interrupts
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
#endif
  }
  ~TerminalKeys() {
#ifndef _WIN32
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
#endif
  }
  TerminalKeys(const TerminalKeys&) = delete;
  TerminalKeys& operator=(const TerminalKeys&) = delete;

  Key next() {
    if (!active_) return Key::none;
    char bytes[16];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n > 0) pending_.append(bytes, static_cast<std::size_t>(n));
    while (!pending_.empty()) {
      if (pending_[0] != '\x1b') {
        const char c = pending_[0];
        pending_.erase(0, 1);
        if (c == 'q' || c == 'Q') return Key::quit;
        continue;
      }
      // ESC [ C / ESC [ D (arrows), ESC [ H, ESC O H, ESC [ 1 ~ and ESC [ 7 ~ (Home).
      static const struct {
        const char* sequence;
        Key key;
      } known[] = {{"\x1b[C", Key::right}, {"\x1bOC", Key::right}, {"\x1b[D", Key::left},
                   {"\x1bOD", Key::left},  {"\x1b[H", Key::home},  {"\x1bOH", Key::home},
                   {"\x1b[1~", Key::home}, {"\x1b[7~", Key::home}};
      bool partial = false;
      for (const auto& k : known) {
        const std::string_view seq = k.sequence;
        if (pending_.compare(0, seq.size(), seq) == 0) {
          pending_.erase(0, seq.size());
          return k.key;
        }
        if (seq.compare(0, pending_.size(), pending_) == 0) partial = true;
      }
      if (partial) return Key::none;  // the rest is on its way
      pending_.erase(0, 1);  // an escape sequence of no interest: drop its ESC
    }
    return Key::none;
  }

 private:
#ifndef _WIN32
  termios saved_{};
#endif
  bool active_ = false;
  std::string pending_;
};
#endif

}  // namespace

int xm_play_command(int argc, char** argv) {
  bool loop = false;
  bool silent = false, ft2 = false;
  const char *seconds_text = nullptr, *start_text = nullptr, *start_seconds_text = nullptr;
  std::vector<const char*> operands;
  int rc = parse_options(play_command, argc, argv,
                         {flag_option("--loop", &loop), flag_option("--no-sound", &silent),
                          flag_option("--ft2", &ft2), value_option("--seconds", &seconds_text),
                          value_option("--start", &start_text),
                          value_option("--start-seconds", &start_seconds_text)},
                         &operands);
  if (rc != parse_continue) return rc;
  double seconds = 0;
  SongStart start;
  if (seconds_text != nullptr &&
      !parse_number(play_command, "--seconds", seconds_text, 0, 24 * 3600, &seconds))
    return 2;
  if (!parse_song_start(play_command, start_text, start_seconds_text, 3600, &start)) return 2;
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
  std::uint64_t start_frame = static_cast<std::uint64_t>(start.seconds * kHostAudioRate);
  if (start.at_row) {
    start_frame = music_find_position(*music_player(), start.position);
    if (start_frame == music_no_position) {
      music_stop();
      std::fprintf(stderr, "kestol xm play: '%s' never plays order %u, row %u\n", escape_name(path).c_str(),
                   start.position >> 8, start.position & 0xFF);
      return 1;
    }
  }
  const int song_length = music_player()->song_length;
  if (!(silent ? music_start_silent(start_frame) : music_start(start_frame))) {
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
  // After a seek, the order asked for until it is heard: the song has not come round.
  int sought_order = -1;
  TerminalKeys keys;
  const char* reason = "interrupted";
  for (;;) {
    std::uint16_t position = music_position();
    int order = position >> 8, row = position & 0xFF;
    if (sought_order >= 0 && order == sought_order) {
      highest_order = order;
      sought_order = -1;
    }
    if (sought_order < 0 && order < highest_order && !loop) {
      reason = "song ended";
      break;
    }
    if (order > highest_order) highest_order = order;
    const Key key = keys.next();
    if (key == Key::quit) {
      reason = "q";
      break;
    }
    if (key != Key::none) {
      const int base = sought_order >= 0 ? sought_order : order;
      const int target = key == Key::home ? 0 : key == Key::right ? base + 1 : std::max(base - 1, 0);
      if (target < song_length && music_seek(static_cast<std::uint16_t>(target << 8))) sought_order = target;
    }
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
