// A baseline JPEG encoder: JFIF APP0, DQT, SOF0, DHT (the standard tables), an optional
// DRI, and one interleaved scan. Grey, or Y/Cb/Cr with sampling 1x1, 2x1 or 2x2.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image_reader.h"

enum class JpegSampling : std::uint8_t {
  s1x1,  // 4:4:4
  s2x1,  // 4:2:2, two luma blocks side by side
  s2x2,  // 4:2:0
};

struct JpegEncodeOptions {
  int quality = 90;  // 1..100, the usual scaling of the standard tables
  JpegSampling sampling = JpegSampling::s2x2;
  bool grey = false;  // one component (luma of the input)
  // DRI with a restart marker after every `restart_interval` MCUs; 0 means one interval
  // per MCU row (the layout this system's decoder requires).
  bool restart = false;
  std::uint32_t restart_interval = 0;
};

// Encodes `height` rows of `width` pixels (rgb24, argb32 with alpha ignored, or grey8),
// `pitch` bytes apart. Width and height must be 1..65535. Appends the file to `out`
// (cleared first). Returns false for bad arguments or when memory runs out.
bool jpeg_encode(const void* pixels, PixelFormat format, std::uint32_t width,
                 std::uint32_t height, std::uint32_t pitch, const JpegEncodeOptions& options,
                 std::vector<std::uint8_t>& out);

// Samples and Y/Cb/Cr conversion the encoder uses, exposed for tests: the full-range
// JFIF conversion, rounded.
void jpeg_rgb_to_ycc(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t& y,
                     std::uint8_t& cb, std::uint8_t& cr);
