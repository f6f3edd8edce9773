// kestol xm: inspect an XM module, render it to a WAV file, print its position timeline.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/render.h"
#include "tools/kestol/commands.h"

namespace {

constexpr double max_song_seconds = 3600.0;

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: kestol xm <subcommand> [arguments]\n\n"
               "  info FILE [--verbose] [--ft2]                              channels, patterns, instruments, song layout\n"
               "  render FILE -o OUT.wav [--seconds N | --song-end] [--ft2]  mix to 16-bit stereo 44100 Hz WAV\n"
               "  timeline FILE [--seconds N | --song-end] [--ft2]           order and row for every 20-ms chunk\n"
               "  play FILE [--loop] [--seconds N] [--ft2]                   play on the audio device\n\n"
               "Replay modes: without --ft2 the engine's classic replay (as the demo plays); with\n"
               "--ft2 as FastTracker 2 played, its quirks included.\n"
               "Without --seconds, render and timeline stop at the song's end (the first time it would\n"
               "play an order position and row again), at most after %d minutes.\n",
               static_cast<int>(max_song_seconds / 60));
}

bool wants_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
  return false;
}

bool read_file(const char* path, std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "kestol xm: can't open '%s': %s\n", path, std::strerror(errno));
    return false;
  }
  unsigned char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  const bool failed = std::ferror(f);
  std::fclose(f);
  if (failed) std::fprintf(stderr, "kestol xm: can't read '%s'\n", path);
  return !failed;
}

std::unique_ptr<ModulePlayer> load(const char* path, ReplayMode mode) {
  std::vector<unsigned char> bytes;
  if (!read_file(path, bytes)) return nullptr;
  if (bytes.size() > 0xFFFFFFFFu) {
    std::fprintf(stderr, "kestol xm: '%s' is too large for an XM module\n", path);
    return nullptr;
  }
  const char* why = "unknown";
  auto player = module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &why);
  if (!player) std::fprintf(stderr, "kestol xm: '%s' is not an XM module this player can load: %s\n", path, why);
  else player_set_replay_mode(*player, mode);
  return player;
}

struct Length {
  bool song_end = true;
  double seconds = 0;
};

bool parse_length(const char* arg, int& i, int argc, char** argv, Length& length) {
  if (!std::strcmp(arg, "--song-end")) {
    length.song_end = true;
    return true;
  }
  if (!std::strcmp(arg, "--seconds")) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    length.seconds = std::strtod(argv[++i], &end);
    length.song_end = false;
    return end && *end == 0 && length.seconds >= 0 && length.seconds <= 24 * 3600;
  }
  return false;
}

void format_time(double seconds, char* text, std::size_t size) {
  const int minutes = static_cast<int>(seconds / 60);
  std::snprintf(text, size, "%d:%06.3f", minutes, seconds - minutes * 60);
}

int info(int argc, char** argv) {
  const char* path = nullptr;
  bool verbose = false;
  ReplayMode mode = ReplayMode::classic;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--verbose") || !std::strcmp(argv[i], "-v")) verbose = true;
    else if (!std::strcmp(argv[i], "--ft2")) mode = ReplayMode::ft2;
    else if (!path && argv[i][0] != '-') path = argv[i];
    else {
      std::fprintf(stderr, "kestol xm info: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (!path) {
    usage(stderr);
    return 2;
  }
  auto player = load(path, mode);
  if (!player) return 1;
  const ModulePlayer& m = *player;
  int samples = 0;
  for (const Instrument& ins : m.instruments) samples += ins.sample_count;
  std::printf("file:              %s\n", path);
  std::printf("channels:          %d\n", m.channel_count);
  std::printf("patterns:          %d stored, %d allocated\n", m.stored_patterns, m.pattern_slots);
  std::printf("instruments:       %d\n", m.instrument_count);
  std::printf("samples:           %d\n", samples);
  std::printf("song length:       %d\n", m.song_length);
  std::printf("restart position:  %d\n", m.restart_position);
  std::printf("speed:             %d\n", m.default_speed);
  std::printf("BPM:               %d\n", m.default_bpm);
  std::printf("frequency table:   %s\n", m.linear_frequencies() ? "linear" : "Amiga");
  std::printf("replay:            %s\n", replay_mode_name(m.replay_mode));
  std::printf("order table:      ");
  for (int i = 0; i < m.song_length; ++i) std::printf(" %d", m.order_table[i]);
  std::printf("\n");
  if (!verbose) return 0;
  for (int i = 0; i < m.pattern_slots; ++i) std::printf("pattern %3d: %d rows\n", i, m.patterns[i].row_count);
  for (int i = 0; i < m.instrument_count; ++i) {
    const Instrument& ins = m.instruments[i];
    std::printf("instrument %3d: %2d samples, volume envelope %s (%d points), panning envelope %s (%d points), "
                "fadeout %u, auto-vibrato type %d sweep %d depth %d rate %d\n",
                i + 1, ins.sample_count, (ins.volume_type & 1) ? "on" : "off", ins.volume_points,
                (ins.panning_type & 1) ? "on" : "off", ins.panning_points, ins.fadeout, ins.vibrato_type,
                ins.vibrato_sweep, ins.vibrato_depth, ins.vibrato_rate);
    for (int s = 0; s < ins.sample_count; ++s) {
      const Sample& smp = *ins.samples[s];
      const char* loop = smp.loop_type == 2 ? "forward" : smp.loop_type == 4 ? "ping-pong" : "none";
      std::printf("  sample %2d: length %d, loop %s %d+%d, volume %d, finetune %d, panning %d, relative note %d\n", s,
                  smp.length, loop, smp.loop_start, smp.loop_length, smp.volume, smp.finetune, smp.panning,
                  smp.relative_note);
    }
  }
  return 0;
}

void put16(std::FILE* f, unsigned v) {
  const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}
void put32(std::FILE* f, std::uint32_t v) {
  put16(f, v & 0xFFFF);
  put16(f, v >> 16);
}

void write_wav_header(std::FILE* f, std::uint32_t frames) {
  const std::uint32_t data = frames * 4;
  std::fwrite("RIFF", 1, 4, f);
  put32(f, 36 + data);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put32(f, 16);
  put16(f, 1);
  put16(f, 2);
  put32(f, mix_rate);
  put32(f, mix_rate * 4);
  put16(f, 4);
  put16(f, 16);
  std::fwrite("data", 1, 4, f);
  put32(f, data);
}

// Shared by render and timeline: the file, the output, the length.
struct RunArgs {
  const char* path = nullptr;
  const char* out = nullptr;
  Length length;
  ReplayMode mode = ReplayMode::classic;
};

int parse_run(const char* name, int argc, char** argv, bool wants_out, RunArgs& a) {
  for (int i = 1; i < argc; ++i) {
    if (wants_out && (!std::strcmp(argv[i], "-o") || !std::strcmp(argv[i], "--output")) && i + 1 < argc) {
      a.out = argv[++i];
    } else if (!std::strcmp(argv[i], "--ft2")) {
      a.mode = ReplayMode::ft2;
    } else if (argv[i][0] == '-' && argv[i][1]) {
      if (!parse_length(argv[i], i, argc, argv, a.length)) {
        std::fprintf(stderr, "kestol xm %s: bad argument '%s'\n", name, argv[i]);
        return 2;
      }
    } else if (!a.path) {
      a.path = argv[i];
    } else {
      std::fprintf(stderr, "kestol xm %s: unexpected argument '%s'\n", name, argv[i]);
      return 2;
    }
  }
  if (!a.path || (wants_out && !a.out)) {
    usage(stderr);
    return 2;
  }
  return 0;
}

std::uint64_t wanted_frames(const Length& l) {
  return static_cast<std::uint64_t>((l.song_end ? max_song_seconds : l.seconds) * mix_rate);
}

int render(int argc, char** argv) {
  RunArgs a;
  if (int rc = parse_run("render", argc, argv, true, a)) return rc;
  auto player = load(a.path, a.mode);
  if (!player) return 1;
  std::FILE* f = std::fopen(a.out, "wb");
  if (!f) {
    std::fprintf(stderr, "kestol xm render: can't create '%s': %s\n", a.out, std::strerror(errno));
    return 1;
  }
  write_wav_header(f, 0);
  OfflineRenderer r(*player);
  const std::uint64_t wanted = wanted_frames(a.length);
  const bool tty = isatty(2);
  std::int16_t chunk[2 * chunk_frames];
  std::uint64_t written = 0;
  int last_percent = -1;
  while (written < wanted) {
    const int n = r.render_chunk(chunk, a.length.song_end);
    const std::uint64_t keep = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), wanted - written);
    if (std::fwrite(chunk, 4, keep, f) != keep) break;
    written += keep;
    if (tty) {
      const double s = static_cast<double>(written) / mix_rate;
      const int percent = a.length.song_end ? -2 : static_cast<int>(100.0 * written / std::max<std::uint64_t>(wanted, 1));
      if (percent != last_percent || written % (mix_rate * 5) < chunk_frames) {
        if (a.length.song_end) std::fprintf(stderr, "\rrendering %s: %.1f s (to the song's end)", a.path, s);
        else std::fprintf(stderr, "\rrendering %s: [%-40.*s] %3d%%", a.path, percent * 40 / 100,
                          "########################################", percent);
        last_percent = percent;
      }
    }
    if (n < chunk_frames) break;
  }
  if (tty) std::fprintf(stderr, "\n");
  const bool ok = !std::ferror(f) && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) write_wav_header(f, static_cast<std::uint32_t>(written));
  if (std::fclose(f) != 0 || !ok) {
    std::fprintf(stderr, "kestol xm render: can't write '%s'\n", a.out);
    return 1;
  }
  char text[32];
  format_time(static_cast<double>(written) / mix_rate, text, sizeof text);
  std::printf("%s: %s (%.3f s)%s -> %s\n", a.path, text, static_cast<double>(written) / mix_rate,
              a.length.song_end ? (r.song_ended() ? " to the song's end" : " (no song end found)") : "", a.out);
  return 0;
}

int timeline(int argc, char** argv) {
  RunArgs a;
  if (int rc = parse_run("timeline", argc, argv, false, a)) return rc;
  auto player = load(a.path, a.mode);
  if (!player) return 1;
  OfflineRenderer r(*player);
  const std::uint64_t wanted = wanted_frames(a.length);
  std::int16_t chunk[2 * chunk_frames];
  std::printf("# ms order row (position at the end of each %d-frame chunk)\n", chunk_frames);
  while (r.frames_rendered() < wanted) {
    const std::uint64_t start = r.frames_rendered();
    const int n = r.render_chunk(chunk, a.length.song_end);
    if (n == 0) break;
    const std::uint16_t pos = r.position();
    std::printf("%llu %u %u\n", static_cast<unsigned long long>(start * 1000 / mix_rate), pos >> 8, pos & 0xFF);
    if (n < chunk_frames) break;
  }
  return 0;
}

}  // namespace

int xm_command(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const char* sub = argv[1];
  if (!std::strcmp(sub, "play")) return xm_play_command(argc - 1, argv + 1);  // its own --help
  if (wants_help(argc - 1, argv + 1)) {
    usage(stdout);
    return 0;
  }
  if (!std::strcmp(sub, "info")) return info(argc - 1, argv + 1);
  if (!std::strcmp(sub, "render")) return render(argc - 1, argv + 1);
  if (!std::strcmp(sub, "timeline")) return timeline(argc - 1, argv + 1);
  if (!std::strcmp(sub, "play")) return xm_play_command(argc - 1, argv + 1);
  std::fprintf(stderr, "kestol xm: unknown subcommand '%s'\n", sub);
  usage(stderr);
  return 2;
}
