// vexo-capture: runs the Vexo demo on the headless host in virtual time and renders it to
// a video file. Every presented frame advances the clock by exactly 1/60 s and the sound
// device by 735 frames, so two runs give the same bytes.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <filesystem>
#include <set>
#include <string>

#include "app/app.h"
#include "display/display.h"
#include "frame_sink.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "host/window.h"
#include "sound/song_position.h"
#include "temp_files.h"

#ifndef KESTOL_VERSION
#define KESTOL_VERSION "0"
#endif

namespace {

struct Options {
  std::string output = "vexo.mp4";
  int fps = 60;
  int scale = 3;
  bool scale_given = false;
  std::string log, frames, wav;
  std::set<unsigned> frame_list;  // empty: every frame
  bool video = true;
  bool progress = true;
  int max_seconds = 600;
  int threads = 4;  // fixed, not the machine's count: the video's bytes depend on it
  bool from_given = false, to_given = false;
  std::uint16_t from = 0, to = 0;
};

// Audio frames per demo frame: each flip moves virtual time on by 1/60 s.
constexpr std::uint32_t audio_frames_per_frame = 44100 / 60;

void usage(FILE* to) {
  std::fputs(
      "usage: vexo-capture [-o FILE] [--fps N] [--scale N] [--log FILE] [--frames DIR]\n"
      "                    [--frame-list L] [--wav FILE] [--no-video] [--max-seconds N]\n"
      "                    [--threads N] [--from POSITION] [--to POSITION] [--quiet]\n"
      "Renders the Vexo demo, start to end, headless in virtual time.\n"
      "  -o FILE          the video: .mp4 (H.264 + AAC, needs ffmpeg) or .y4m (plus FILE.wav);\n"
      "                   without ffmpeg an .mp4 request becomes .y4m + .wav (default vexo.mp4)\n"
      "  --fps N          frames per second of the video, 1..240 (default 60)\n"
      "  --scale N        nearest-neighbour scale of the 320 x 200 picture, 1..8 (default 3;\n"
      "                   1 for Y4M, which is uncompressed)\n"
      "  --log FILE       one line per frame: frame number, time in ms, position, previous;\n"
      "                   a last line marked 'end' holds the position at which the demo ended\n"
      "  --frames DIR     also write every frame as DIR/NNNNN.png (DIR is made if missing)\n"
      "  --frame-list L   with --frames: only the frames numbered in L (for example 10,250,900)\n"
      "  --wav FILE       also keep the sound as a WAV file (44,100 Hz, 16-bit stereo)\n"
      "  --no-video       write no video (with --log, --frames or --wav)\n"
      "  --max-seconds N  stop after N seconds of demo time if it has not ended (default 600);\n"
      "                   what was rendered until then is kept\n"
      "  --threads N      encoder threads, 1..16 (default 4 on every machine; the same N\n"
      "                   always gives the same bytes, a different N a different video)\n"
      "  --from POSITION  start with the music at ORDER[:ROW] (decimal, or hex as 0x05:0x20, or\n"
      "                   0x0520 as the script writes it), as if it had played up to there:\n"
      "                   from the first frame of a whole run that shows it, with the same\n"
      "                   frame numbers, pictures and sound as that run from there on\n"
      "  --to POSITION    stop before the first frame at that position or later\n"
      "  --quiet          no progress bar\n"
      "  --version        print the version and exit\n"
      "Every file is written under a temporary name beside it and renamed when complete.\n",
      to);
}

bool number(const char* text, int lo, int hi, int& out) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  out = static_cast<int>(v);
  return true;
}

// 0 to go on, otherwise the exit code.
int parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return -1;
    } else if (a == "--version") {
      std::printf("vexo-capture %s\n", KESTOL_VERSION);
      return -1;
    } else if (a == "--no-video") {
      o.video = false;
    } else if (a == "--quiet") {
      o.progress = false;
    } else if ((a == "-o" || a == "--output") && (v = value())) {
      o.output = v;
    } else if (a == "--fps" && (v = value()) && number(v, 1, 240, o.fps)) {
    } else if (a == "--scale" && (v = value()) && number(v, 1, 8, o.scale)) {
      o.scale_given = true;
    } else if (a == "--max-seconds" && (v = value()) && number(v, 1, 86400, o.max_seconds)) {
    } else if (a == "--threads" && (v = value()) && number(v, 1, 16, o.threads)) {
    } else if ((a == "--from" || a == "--to") && (v = value())) {
      if (!parse_song_position(v, a == "--from" ? &o.from : &o.to)) {
        std::fprintf(stderr, "vexo-capture: %s wants ORDER[:ROW], each 0 to 255 (as 5, 5:32 or 0x05:0x20), not '%s'\n",
                     a.c_str(), v);
        return 2;
      }
      (a == "--from" ? o.from_given : o.to_given) = true;
    } else if (a == "--log" && (v = value())) {
      o.log = v;
    } else if (a == "--frames" && (v = value())) {
      o.frames = v;
    } else if (a == "--frame-list" && (v = value())) {
      for (const char* p = v; *p != '\0';) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(p, &end, 10);
        if (end == p || (*end != ',' && *end != '\0')) {
          std::fprintf(stderr, "vexo-capture: bad frame list '%s'\n", v);
          return 2;
        }
        o.frame_list.insert(static_cast<unsigned>(n));
        p = *end == ',' ? end + 1 : end;
      }
    } else if (a == "--wav" && (v = value())) {
      o.wav = v;
    } else {
      std::fprintf(stderr, "vexo-capture: bad or incomplete argument '%s'\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }
  return 0;
}

bool ends_with(const std::string& s, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

std::string with_extension(const std::string& path, const char* ext) {
  const std::size_t slash = path.find_last_of('/'), dot = path.find_last_of('.');
  const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has ? path.substr(0, dot) : path) + ext;
}

void progress_bar(std::uint16_t position, unsigned frame) {
  const unsigned order = position >> 8, row = position & 0xFF;
  unsigned done = position == 0xFFFF ? 0 : (order * 64 + (row < 64 ? row : 63)) * 100 / (11 * 64);
  if (done > 100) done = 100;
  char bar[31];
  for (unsigned i = 0; i < 30; ++i) bar[i] = i < done * 30 / 100 ? '#' : '-';
  bar[30] = '\0';
  std::fprintf(stderr, "\rvexo-capture [%s] %3u%%  order %02u row %02u  frame %u", bar, done, order, row, frame);
}

// Reports a failure and gives the exit code.
int fail(const std::string& what) {
  std::fprintf(stderr, "vexo-capture: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (int rc = parse(argc, argv, o)) {
    if (rc < 0) return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    return rc;
  }
  o.progress = o.progress && isatty(2);
  // A pipe whose reader has gone (ffmpeg failing) is a write error to report, not a death.
  signal(SIGPIPE, SIG_IGN);
  temp_files_install_cleanup();

  CheckedFile log;
  if (!o.log.empty()) {
    if (!log.create(o.log) || !log.print("# frame time_ms position previous_position\n"))
      return fail("cannot write the log " + log.error());
  }
  if (!o.frames.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(o.frames, ec);
    if (ec || !std::filesystem::is_directory(o.frames, ec))
      return fail("cannot make the frames folder '" + o.frames + "': " + (ec ? ec.message() : "not a folder"));
  }

  std::unique_ptr<VideoSink> sink;
  std::string video_path;
  if (o.video) {
    const bool want_y4m = ends_with(o.output, ".y4m");
    const bool y4m = want_y4m || !program_on_path("ffmpeg");
    // Y4M is uncompressed: scale 3 would come to about 9 GB for the demo.
    if (y4m && !o.scale_given) o.scale = 1;
    const int width = 320 * o.scale, height = 200 * o.scale;
    if (!y4m) {
      auto s = std::make_unique<FfmpegSink>(o.output, width, height, o.fps, o.threads);
      if (!s->ok()) return fail(s->error().empty() ? "cannot start ffmpeg for '" + o.output + "'" : s->error());
      video_path = o.output;
      sink = std::move(s);
    } else {
      video_path = want_y4m ? o.output : with_extension(o.output, ".y4m");
      const std::string wav_beside = with_extension(video_path, ".wav");
      if (!want_y4m) std::fprintf(stderr, "vexo-capture: ffmpeg is not installed; writing Y4M and WAV instead\n");
      std::fprintf(stderr, "vexo-capture: Y4M of %dx%d at %d fps, about %.1f MB per second of the demo, into '%s' and '%s'\n",
                   width, height, o.fps, static_cast<double>(y4m_bytes_per_second(width, height, o.fps)) / 1e6,
                   video_path.c_str(), wav_beside.c_str());
      auto s = std::make_unique<Y4mSink>(video_path, wav_beside, width, height, o.fps);
      if (!s->ok()) return fail(s->error().empty() ? "cannot create '" + video_path + "'" : s->error());
      sink = std::move(s);
    }
  }
  // The sound as heard, recorded under a temporary name beside the --wav file or the
  // output, or in the temporary folder when nothing else is written.
  std::string error;
  std::string wav_target = !o.wav.empty() ? o.wav : o.video ? o.output : !o.log.empty() ? o.log : std::string();
  if (wav_target.empty() || (o.wav.empty() && is_special_file(wav_target))) {
    const char* tmp = std::getenv("TMPDIR");
    wav_target = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vexo-capture";
  }
  const std::string wav = temp_file_beside(wav_target, ".wav", error);
  if (wav.empty()) return fail("cannot write the sound " + error);
  headless::set_virtual_time(true);
  if (!headless::audio_record_wav(wav.c_str())) return fail("cannot write the sound " + file_error(wav_target, errno));

  if (o.from_given) start_point = StartPoint{true, o.from, audio_frames_per_frame};
  // Frames are numbered as in a whole run: a run --from a position starts at a later number.
  unsigned first = 0, rendered = 0, emitted = 0, first_emitted = 0;
  bool failed = false, stopped = false, reached_to = false;
  std::string failure;
  auto failing = [&](const std::string& why) {
    if (!failed) failure = why;
    failed = true;
  };
  RgbFrame rgb;
  headless::on_frame_advance([&] {
    // Only the render thread's frames: the black frame of start-up is not part of the demo.
    if ((system_flags.load() & render_running) == 0 || std::this_thread::get_id() != render_thread_id.load()) return;
    const FrameClock c = frame_clock;
    if (reached_to) return;
    if (o.to_given && c.position >= o.to) {
      reached_to = true;
      display_request_close();
      return;
    }
    if (rendered == 0) {
      first = static_cast<unsigned>(start_frame / audio_frames_per_frame);
      emitted = first_emitted = static_cast<unsigned>((std::uint64_t(first) * o.fps + 59) / 60);
    }
    const unsigned n = first + rendered++;
    if (log.is_open() && !failed && !log.print("%u %u 0x%04X 0x%04X\n", n, c.time_ms, c.position, c.previous_position))
      failing("writing the log " + log.error());
    const bool save = !o.frames.empty() && (o.frame_list.empty() || o.frame_list.count(n) != 0);
    if (sink || save) scale_frame(framebuffer, screen.width, screen.height, o.scale, rgb);
    if (save && !failed) {
      char name[32];
      std::snprintf(name, sizeof name, "/%05u.png", n);
      std::string why;
      if (!write_png(o.frames + name, rgb, why)) failing("writing a frame " + why);
    }
    // Frame n is shown from n/60 s on: emit it for every video frame that starts by then.
    while (sink && !failed && std::uint64_t(emitted) * 60 <= std::uint64_t(n) * o.fps) {
      if (!sink->frame(rgb)) {
        failing(sink->error().empty() ? "writing the video '" + video_path + "' failed" : sink->error());
        break;
      }
      ++emitted;
    }
    if (o.progress && n % 30 == 0) progress_bar(c.position, n);
    if (!stopped && (failed || rendered >= unsigned(o.max_seconds) * 60)) {
      stopped = true;
      display_request_close();
    }
  });

  const char* args[] = {argv[0]};
  host_set_arguments(1, const_cast<char**>(args));
  int rc = kestol_main();
  // A fatal error on the render thread ends the run through the normal shutdown; its
  // message box (on standard error) tells what it was.
  if (rc == 0 && headless::message_box_count() > 0) rc = 1;
  if (const int wav_error = headless::audio_record_stop(); wav_error != 0)
    failing("writing the sound " + file_error(o.wav.empty() ? wav : o.wav, wav_error));
  // The position at which the script ended the demo (its frame is not shown).
  if (log.is_open() && rc == 0 && !stopped && !reached_to && !failed) {
    const FrameClock c = frame_clock;
    if (!log.print("%u %u 0x%04X 0x%04X end\n", first + rendered, c.time_ms, c.position, c.previous_position))
      failing("writing the log " + log.error());
  }
  if (o.progress) std::fputc('\n', stderr);

  if (rc == 0 && !failed && sink && !sink->finish(wav)) failing(sink->error());
  sink.reset();
  if (rc == 0 && !failed && log.is_open() && !log.commit()) failing("writing the log " + log.error());
  if (rc == 0 && !failed && !o.wav.empty() && !temp_file_commit(wav, o.wav, error)) failing("writing the sound " + error);
  temp_file_remove(wav);
  if (failed) return fail(failure);
  if (rc != 0) return rc;
  if (stopped)
    std::fprintf(stderr, "vexo-capture: stopped after %d s of demo time, as --max-seconds asked\n", o.max_seconds);
  // The last line counts what the video holds; without a video, the demo's frames.
  if (reached_to) std::fprintf(stderr, "vexo-capture: stopped at position 0x%04X, as --to asked\n", o.to);
  const unsigned frames = o.video ? emitted - first_emitted : rendered;
  const unsigned rate = o.video ? static_cast<unsigned>(o.fps) : 60u;
  const unsigned seconds = frames / rate;
  std::fprintf(stderr, "vexo-capture: %u %s frames (%u:%02u)%s%s\n", frames, o.video ? "video" : "demo",
               seconds / 60, seconds % 60, video_path.empty() ? "" : " into ", video_path.c_str());
  return 0;
}
