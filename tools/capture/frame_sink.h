// Where captured frames and sound go: an H.264/AAC MP4 through ffmpeg, or Y4M and WAV
// files, plus optional PNG files per frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One frame, scaled up by whole pixels (nearest neighbour), as packed RGB bytes.
struct RgbFrame {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};
void scale_frame(const std::uint32_t* pixels, int width, int height, int scale, RgbFrame& out);

// Finds a program on PATH.
bool program_on_path(const char* name);

class VideoSink {
 public:
  virtual ~VideoSink() = default;
  virtual bool frame(const RgbFrame& f) = 0;
  // Finishes the video; `wav` is the recorded sound to put beside or into it.
  virtual bool finish(const std::string& wav) = 0;
  // What went wrong, naming the file or program and the cause; "" when nothing did.
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

// ffmpeg encodes while the demo runs; the sound is muxed in at the end.
class FfmpegSink final : public VideoSink {
 public:
  // `threads`: x264's thread count; the same count gives the same bytes on any machine.
  FfmpegSink(std::string output, int width, int height, int fps, int threads);
  ~FfmpegSink() override;
  bool ok() const { return pipe_ != nullptr; }
  bool frame(const RgbFrame& f) override;
  bool finish(const std::string& wav) override;

 private:
  // Waits for the encoder and names how it failed, if it did.
  bool close_encoder();
  std::string output_, video_tmp_;
  FILE* pipe_ = nullptr;
};

// YUV4MPEG2 (4:4:4, studio range) and the WAV copied beside it. Bytes per second of video.
std::uint64_t y4m_bytes_per_second(int width, int height, int fps);

class Y4mSink final : public VideoSink {
 public:
  Y4mSink(std::string output, std::string wav_output, int width, int height, int fps);
  ~Y4mSink() override;
  bool ok() const { return file_ != nullptr; }
  bool frame(const RgbFrame& f) override;
  bool finish(const std::string& wav) override;

 private:
  std::string output_, wav_output_, temp_;
  FILE* file_ = nullptr;
  std::vector<std::uint8_t> planes_;
};

// Both write through a temporary file beside `path`/`to`; false with `error` set.
bool write_png(const std::string& path, const RgbFrame& f, std::string& error);
bool copy_file(const std::string& from, const std::string& to, std::string& error);
