// Video and picture output of vexo-capture.
#include "frame_sink.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "temp_files.h"

void scale_frame(const std::uint32_t* pixels, int width, int height, int scale, RgbFrame& out) {
  out.width = width * scale;
  out.height = height * scale;
  out.rgb.resize(std::size_t(out.width) * out.height * 3);
  std::uint8_t* d = out.rgb.data();
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = d;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[std::size_t(y) * width + x];
      for (int k = 0; k < scale; ++k) {
        *d++ = static_cast<std::uint8_t>(p >> 16);
        *d++ = static_cast<std::uint8_t>(p >> 8);
        *d++ = static_cast<std::uint8_t>(p);
      }
    }
    const std::size_t row_bytes = std::size_t(out.width) * 3;
    for (int k = 1; k < scale; ++k, d += row_bytes) std::memcpy(d, row, row_bytes);
  }
}

bool program_on_path(const char* name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string all = path;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    std::string candidate = all.substr(start, end - start) + "/" + name;
    if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// Arguments go through the shell: quote them.
std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Options that keep ffmpeg's output free of versions, dates and other run-to-run noise.
const char* kExact = " -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1";

}  // namespace

// "exit status N" or "killed by signal N", for a finished child.
std::string exit_text(int status) {
  if (status == -1) return std::strerror(errno);
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

FfmpegSink::FfmpegSink(std::string output, int width, int height, int fps, int threads) : output_(std::move(output)) {
  // A fresh file beside the output (never a fixed name a link could be planted at).
  video_tmp_ = temp_file_beside(output_, ".video.mp4", error_);
  if (video_tmp_.empty()) return;
  // x264 threads by slices of each frame: the slices follow from the thread count alone, so
  // a count fixed here, not taken from the machine, gives the same bytes everywhere. (Frame
  // threads are not used: their decisions vary from run to run with the threads' timing.)
  // The colour conversion before it gets the same fixed count. The veryfast preset at
  // CRF 16 comes within a fraction of a dB of faster at CRF 17 on the demo's frames (PSNR
  // 47.8 against 48.5 dB) for two thirds of the work.
  const std::string n = std::to_string(threads);
  std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y -filter_threads " + n +
                    " -f rawvideo -pix_fmt rgb24 -s " + std::to_string(width) + "x" + std::to_string(height) +
                    " -r " + std::to_string(fps) +
                    " -i - -c:v libx264 -preset veryfast -tune animation -crf 16 -pix_fmt yuv420p -threads " + n +
                    " -x264-params sliced-threads=1" + kExact + " -f mp4 " + quoted(video_tmp_);
  pipe_ = popen(cmd.c_str(), "w");
}

FfmpegSink::~FfmpegSink() {
  if (pipe_ != nullptr) pclose(pipe_);
  temp_file_remove(video_tmp_);
}

bool FfmpegSink::close_encoder() {
  if (pipe_ == nullptr) return error_.empty();
  const int status = pclose(pipe_);
  pipe_ = nullptr;
  if (status != 0 && error_.empty())
    error_ = "ffmpeg failed encoding '" + output_ + "' (" + exit_text(status) + "; its message is above)";
  return status == 0;
}

bool FfmpegSink::frame(const RgbFrame& f) {
  if (pipe_ == nullptr) return false;
  if (std::fwrite(f.rgb.data(), 1, f.rgb.size(), pipe_) == f.rgb.size()) return true;
  // The encoder has gone (SIGPIPE is ignored, so this is EPIPE): say how it ended.
  close_encoder();
  return false;
}

bool FfmpegSink::finish(const std::string& wav) {
  if (!close_encoder()) return false;
  const std::string muxed = temp_file_beside(output_, ".mp4", error_);
  if (muxed.empty()) return false;
  std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y -i " + quoted(video_tmp_) + " -i " + quoted(wav) +
                    " -map 0:v -map 1:a -c:v copy -c:a aac -b:a 192k" + kExact + " -movflags +faststart " +
                    quoted(muxed);
  const int status = std::system(cmd.c_str());
  if (status != 0) {
    error_ = "ffmpeg failed writing '" + output_ + "' (" + exit_text(status) + "; its message is above)";
    temp_file_remove(muxed);
    return false;
  }
  return temp_file_commit(muxed, output_, error_);
}

std::uint64_t y4m_bytes_per_second(int width, int height, int fps) {
  return (std::uint64_t(width) * height * 3 + 6) * fps;
}

Y4mSink::Y4mSink(std::string output, std::string wav_output, int width, int height, int fps)
    : output_(std::move(output)), wav_output_(std::move(wav_output)) {
  temp_ = temp_file_beside(output_, ".y4m", error_);
  if (temp_.empty()) return;
  file_ = std::fopen(temp_.c_str(), "wb");
  if (file_ == nullptr) {
    error_ = file_error(output_, errno);
    return;
  }
  if (std::fprintf(file_, "YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C444\n", width, height, fps) < 0) {
    error_ = file_error(output_, errno);
    std::fclose(file_);
    file_ = nullptr;
  }
}

Y4mSink::~Y4mSink() {
  if (file_ != nullptr) std::fclose(file_);
  temp_file_remove(temp_);
}

bool Y4mSink::frame(const RgbFrame& f) {
  const std::size_t n = std::size_t(f.width) * f.height;
  planes_.resize(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    const int r = f.rgb[i * 3], g = f.rgb[i * 3 + 1], b = f.rgb[i * 3 + 2];
    // BT.601, studio range, rounded.
    planes_[i] = static_cast<std::uint8_t>((16 * 256 + 66 * r + 129 * g + 25 * b + 128) >> 8);
    planes_[n + i] = static_cast<std::uint8_t>((128 * 256 - 38 * r - 74 * g + 112 * b + 128) >> 8);
    planes_[2 * n + i] = static_cast<std::uint8_t>((128 * 256 + 112 * r - 94 * g - 18 * b + 128) >> 8);
  }
  if (std::fputs("FRAME\n", file_) >= 0 && std::fwrite(planes_.data(), 1, planes_.size(), file_) == planes_.size())
    return true;
  if (error_.empty()) error_ = file_error(output_, errno);
  return false;
}

bool Y4mSink::finish(const std::string& wav) {
  if (file_ == nullptr) return false;
  errno = 0;
  const bool written = flush_and_sync(file_);
  const int cause = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    error_ = file_error(output_, written ? errno : cause);
    return false;
  }
  if (!copy_file(wav, wav_output_, error_)) return false;
  const bool done = temp_file_commit(temp_, output_, error_);
  temp_.clear();
  return done;
}

bool copy_file(const std::string& from, const std::string& to, std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(from.c_str(), "rb"), std::fclose);
  if (!in) {
    error = file_error(from, errno);
    return false;
  }
  const std::string temp = temp_file_beside(to, "", error);
  if (temp.empty()) return false;
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  bool ok = out != nullptr;
  int cause = errno;
  char buffer[65536];
  std::size_t n;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
    if (std::fwrite(buffer, 1, n, out) != n) ok = false, cause = errno;
  if (ok && std::ferror(in.get())) {
    error = file_error(from, EIO);
    std::fclose(out);
    temp_file_remove(temp);
    return false;
  }
  if (ok && !flush_and_sync(out)) ok = false, cause = errno;
  if (out != nullptr && std::fclose(out) != 0 && ok) ok = false, cause = errno;
  if (!ok) {
    error = file_error(to, cause);
    temp_file_remove(temp);
    return false;
  }
  return temp_file_commit(temp, to, error);
}

namespace {

bool write_png_file(std::FILE* file, const RgbFrame& f) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<png_bytep> rows(static_cast<std::size_t>(f.height));
  for (int y = 0; y < f.height; ++y)
    rows[y] = const_cast<png_bytep>(f.rgb.data() + std::size_t(y) * f.width * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, f.width, f.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool write_png(const std::string& path, const RgbFrame& f, std::string& error) {
  const std::string temp = temp_file_beside(path, ".png", error);
  if (temp.empty()) return false;
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) {
    error = file_error(path, errno);
    temp_file_remove(temp);
    return false;
  }
  errno = 0;
  bool ok = write_png_file(file, f) && std::fflush(file) == 0;
  int cause = errno;
  if (std::fclose(file) != 0 && ok) ok = false, cause = errno;
  if (!ok) {
    error = file_error(path, cause != 0 ? cause : EIO);
    temp_file_remove(temp);
    return false;
  }
  return temp_file_commit(temp, path, error);
}
