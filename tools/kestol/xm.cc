// kestol xm: inspect an XM module, render it to a WAV file, print its position timeline.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/render.h"
#include "tools/kestol/cli.h"
#include "tools/kestol/commands.h"
#include "tools/kestol/replacing_file.h"
#include "tools/kestol/song_start.h"

namespace {

constexpr double max_song_seconds = 3600.0;

const CommandInfo xm_group{
    "kestol xm",
    "usage: kestol xm <subcommand> [arguments]\n\n"
    "  info FILE [--verbose] [--ft2]                              channels, patterns, instruments, song layout\n"
    "  render FILE -o OUT.wav [--seconds N | --song-end] [--start ORDER:ROW] [--ft2]\n"
    "                                                             mix to 16-bit stereo 44100 Hz WAV\n"
    "  timeline FILE [--seconds N | --song-end] [--start ORDER:ROW] [--ft2]\n"
    "                                                             order and row for every 20-ms chunk\n"
    "  play FILE [--loop] [--seconds N] [--ft2]                   play on the audio device\n\n"
    "Replay modes: without --ft2 the engine's classic replay (as the demo plays); with\n"
    "--ft2 as FastTracker 2 played, its quirks included.\n"
    "Without --seconds, render and timeline stop at the song's end (the first time it would\n"
    "play an order position and row again), at most after 60 minutes.\n"
    "'kestol xm <subcommand> --help' describes a subcommand.\n"};

const CommandInfo info_command{
    "kestol xm info",
    "usage: kestol xm info [--verbose] [--ft2] FILE\n\n"
    "Prints the module's channels, patterns, instruments, samples and song layout;\n"
    "--verbose (-v) adds every pattern, instrument and sample; --ft2 names the FastTracker 2\n"
    "replay instead of the engine's classic one.\n"};

const CommandInfo render_command{
    "kestol xm render",
    "usage: kestol xm render FILE -o OUT.wav [--seconds N | --song-end]\n"
    "                        [--start ORDER:ROW | --start-seconds S] [--ft2]\n\n"
    "Mixes the module to a 16-bit stereo 44100 Hz WAV file (\"-o -\": standard output).\n"
    "Without --seconds it stops at the song's end (the first time it would play an order\n"
    "position and row again), at most after 60 minutes.\n\n"
    "  -o, --output OUT  the WAV file to write\n"
    "  --seconds N       render N seconds (0 to 86400)\n"
    "  --song-end        stop at the song's end (the default)\n"
    "  --start ORDER:ROW begin where the song first plays that row (decimal, or hex as\n"
    "                    0x0A:0x20); the same samples a render from the start has there\n"
    "  --start-seconds S begin S seconds into the song\n"
    "  --ft2             replay as FastTracker 2 did (default: the engine's classic replay)\n"};

const CommandInfo timeline_command{
    "kestol xm timeline",
    "usage: kestol xm timeline FILE [--seconds N | --song-end]\n"
    "                          [--start ORDER:ROW | --start-seconds S] [--ft2]\n\n"
    "Prints the order position and row at the end of every 20-ms chunk of the mix.\n\n"
    "  --seconds N  cover N seconds (0 to 86400)\n"
    "  --song-end   stop at the song's end (the default)\n"
    "  --start ORDER:ROW, --start-seconds S\n"
    "               begin where the song first plays that row, or S seconds into it\n"
    "  --ft2        replay as FastTracker 2 did (default: the engine's classic replay)\n"};

bool read_file(const char* path, std::vector<unsigned char>& bytes) {
  std::string error;
  if (!read_input_file(path, &bytes, &error)) {
    std::fprintf(stderr, "kestol xm: can't read '%s': %s\n", escape_name(path).c_str(), error.c_str());
    return false;
  }
  return true;
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

// --seconds and --song-end as parsed: null when not given.
struct LengthOptions {
  const char* seconds = nullptr;
  bool song_end = false;
};

bool parse_length(const CommandInfo& command, const LengthOptions& given, Length& length) {
  if (given.seconds == nullptr) return true;
  if (given.song_end) {
    usage_error(command, "--seconds and --song-end exclude each other");
    return false;
  }
  length.song_end = false;
  return parse_number(command, "--seconds", given.seconds, 0, 24 * 3600, &length.seconds);
}

void format_time(double seconds, char* text, std::size_t size) {
  const int minutes = static_cast<int>(seconds / 60);
  std::snprintf(text, size, "%d:%06.3f", minutes, seconds - minutes * 60);
}

int info(int argc, char** argv) {
  bool verbose = false;
  std::vector<const char*> operands;
  bool ft2 = false;
  int rc = parse_options(info_command, argc, argv,
                         {flag_option("--verbose", &verbose, "-v"), flag_option("--ft2", &ft2)}, &operands);
  if (rc != parse_continue) return rc;
  if (operands.size() != 1) return usage_error(info_command, "wants one FILE");
  const char* path = operands[0];
  auto player = load(path, ft2 ? ReplayMode::ft2 : ReplayMode::classic);
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
  if (!verbose) return stdout_ok("kestol xm info") ? 0 : 1;
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
  return stdout_ok("kestol xm info") ? 0 : 1;
}

// The 44-byte header of a 16-bit stereo WAV file of `frames` frames.
std::array<std::uint8_t, 44> wav_header(std::uint32_t frames) {
  std::array<std::uint8_t, 44> h{};
  std::size_t at = 0;
  auto text = [&](const char* t) {
    for (int i = 0; i < 4; ++i) h[at++] = static_cast<std::uint8_t>(t[i]);
  };
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) h[at++] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const std::uint32_t data = frames * 4;
  text("RIFF");
  put(36 + data, 4);
  text("WAVE");
  text("fmt ");
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(mix_rate, 4);
  put(mix_rate * 4, 4);
  put(4, 2);
  put(16, 2);
  text("data");
  put(data, 4);
  return h;
}

// Shared by render and timeline: the file, the output, the length.
struct RunArgs {
  const char* path = nullptr;
  const char* out = nullptr;
  Length length;
  ReplayMode mode = ReplayMode::classic;
  SongStart start;
};

// Runs the renderer, without mixing, to where --start or --start-seconds asked; false
// (after saying so) when the song never plays that row.
bool seek_start(const char* name, OfflineRenderer& r, const RunArgs& a) {
  if (a.start.at_row) {
    if (r.seek_row(a.start.position, static_cast<std::uint64_t>(max_song_seconds * mix_rate))) return true;
    std::fprintf(stderr, "%s: '%s' never plays order %u, row %u\n", name, escape_name(a.path).c_str(),
                 a.start.position >> 8, a.start.position & 0xFF);
    return false;
  }
  r.seek_frame(static_cast<std::uint64_t>(a.start.seconds * mix_rate));
  return true;
}

int parse_run(const CommandInfo& command, int argc, char** argv, bool wants_out, RunArgs& a) {
  LengthOptions given;
  bool ft2 = false;
  const char *start = nullptr, *start_seconds = nullptr;
  std::vector<const char*> operands;
  int rc = wants_out ? parse_options(command, argc, argv,
                                     {value_option("-o", &a.out, "--output"),
                                      value_option("--seconds", &given.seconds),
                                      flag_option("--song-end", &given.song_end), flag_option("--ft2", &ft2),
                                      value_option("--start", &start), value_option("--start-seconds", &start_seconds)},
                                     &operands)
                     : parse_options(command, argc, argv,
                                     {value_option("--seconds", &given.seconds),
                                      flag_option("--song-end", &given.song_end), flag_option("--ft2", &ft2),
                                      value_option("--start", &start), value_option("--start-seconds", &start_seconds)},
                                     &operands);
  if (rc != parse_continue) return rc;
  a.mode = ft2 ? ReplayMode::ft2 : ReplayMode::classic;
  if (!parse_song_start(command, start, start_seconds, max_song_seconds, &a.start)) return 2;
  if (!parse_length(command, given, a.length)) return 2;
  if (operands.size() != 1) return usage_error(command, "wants one FILE");
  a.path = operands[0];
  if (wants_out && !a.out) return usage_error(command, "wants -o OUT.wav");
  return parse_continue;
}

std::uint64_t wanted_frames(const Length& l) {
  return static_cast<std::uint64_t>((l.song_end ? max_song_seconds : l.seconds) * mix_rate);
}

int render(int argc, char** argv) {
  RunArgs a;
  if (int rc = parse_run(render_command, argc, argv, true, a); rc != parse_continue) return rc;
  auto player = load(a.path, a.mode);
  if (!player) return 1;
  // The file is written under a new name and renamed into place when complete. "-o -"
  // streams to standard output, and a device is written directly: their header then
  // states the length asked for, or the largest a WAV file can state when the song's end
  // is not known yet.
  const bool to_stdout = std::strcmp(a.out, "-") == 0;
  ReplacingFile file;
  std::string error;
  if (!to_stdout && !file.open(a.out, &error)) {
    std::fprintf(stderr, "kestol xm render: %s\n", error.c_str());
    return 1;
  }
  const bool streaming = to_stdout || file.direct();
  auto emit = [&](const void* data, std::size_t n) {
    return to_stdout ? std::fwrite(data, 1, n, stdout) == n : file.write(data, n, &error);
  };
  const std::uint64_t wanted = wanted_frames(a.length);
  constexpr std::uint32_t unknown_frames = 0x3FFFFFF0;
  const auto first_header = wav_header(
      streaming ? static_cast<std::uint32_t>(std::min<std::uint64_t>(
                      a.length.song_end ? unknown_frames : wanted, unknown_frames))
                : 0);
  bool ok = emit(first_header.data(), first_header.size());
  OfflineRenderer r(*player);
  if (!seek_start("kestol xm render", r, a)) return 1;
  const bool tty = isatty(2);
  std::int16_t chunk[2 * chunk_frames];
  std::uint64_t written = 0;
  int last_percent = -1;
  while (ok && written < wanted) {
    const int n = r.render_chunk(chunk, a.length.song_end);
    const std::uint64_t keep = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), wanted - written);
    if (!emit(chunk, keep * 4)) {
      ok = false;
      break;
    }
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
    if (r.finished()) break;
  }
  if (tty) std::fprintf(stderr, "\n");
  const auto header = wav_header(static_cast<std::uint32_t>(written));
  if (to_stdout) {
    // A pipe cannot be rewound; a redirected file gets the true length.
    if (!ok) {
      stdout_ok("kestol xm render");
      return 1;
    }
    if (std::fflush(stdout) == 0 && std::fseek(stdout, 0, SEEK_SET) == 0)
      std::fwrite(header.data(), 1, header.size(), stdout);
    if (!stdout_ok("kestol xm render")) return 1;
  } else if (!ok || (!file.direct() && !file.rewrite_start(header.data(), header.size(), &error)) ||
             !file.commit(&error)) {
    std::fprintf(stderr, "kestol xm render: %s\n", error.c_str());
    return 1;
  }
  char text[32];
  format_time(static_cast<double>(written) / mix_rate, text, sizeof text);
  std::fprintf(to_stdout ? stderr : stdout, "%s: %s (%.3f s)%s -> %s\n", a.path, text, static_cast<double>(written) / mix_rate,
              a.length.song_end ? (r.song_ended() ? " to the song's end" : " (no song end found)") : "", a.out);
  return to_stdout || stdout_ok("kestol xm render") ? 0 : 1;
}

int timeline(int argc, char** argv) {
  RunArgs a;
  if (int rc = parse_run(timeline_command, argc, argv, false, a); rc != parse_continue) return rc;
  auto player = load(a.path, a.mode);
  if (!player) return 1;
  OfflineRenderer r(*player);
  if (!seek_start("kestol xm timeline", r, a)) return 1;
  const std::uint64_t first = r.frames_rendered();
  const std::uint64_t wanted = wanted_frames(a.length);
  std::int16_t chunk[2 * chunk_frames];
  std::printf("# ms order row (position at the end of each %d-frame chunk)\n", chunk_frames);
  while (r.frames_rendered() - first < wanted) {
    const std::uint64_t start = r.frames_rendered();
    const int n = r.render_chunk(chunk, a.length.song_end);
    if (n == 0) break;
    const std::uint16_t pos = r.position();
    std::printf("%llu %u %u\n", static_cast<unsigned long long>(start * 1000 / mix_rate), pos >> 8, pos & 0xFF);
    if (r.finished() || std::ferror(stdout)) break;
  }
  return stdout_ok("kestol xm timeline") ? 0 : 1;
}

}  // namespace

int xm_command(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::fputs(xm_group.usage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const char* sub = argv[1];
  if (!std::strcmp(sub, "info")) return info(argc - 1, argv + 1);
  if (!std::strcmp(sub, "render")) return render(argc - 1, argv + 1);
  if (!std::strcmp(sub, "timeline")) return timeline(argc - 1, argv + 1);
  if (!std::strcmp(sub, "play")) return xm_play_command(argc - 1, argv + 1);
  return usage_error(xm_group, "unknown subcommand '" + escape_name(sub) + "'");
}
