// Helpers shared by the BMP/PCX/TGA/GIF reader tests: byte builders and a one-call decode.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_reader.h"

namespace image_formats_test {

using Bytes = std::vector<std::uint8_t>;

inline void put8(Bytes& b, unsigned v) { b.push_back(std::uint8_t(v)); }
inline void put16(Bytes& b, unsigned v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
inline void put(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

struct Decoded {
  bool header = false;
  bool ok = false;
  std::uint32_t width = 0, height = 0;
  std::vector<PixelFormat> formats;
  Bytes pixels;   // packed rows unless a pitch was given
  Bytes palette;  // 768 bytes, pre-filled with 0xEE
};

// Reads the header and decodes in `format` through the ImageReader front-end.
inline Decoded decode_bytes(const Bytes& file, PixelFormat format, const char* name = nullptr,
                            std::uint32_t extra_pitch = 0) {
  Decoded d;
  MemoryByteSource src(file.data(), file.size());
  ImageReader reader(&src, name);
  d.header = reader.read_header();
  if (!d.header) return d;
  d.width = reader.width();
  d.height = reader.height();
  FormatList list;
  reader.copy_formats(list);
  for (std::uint32_t i = 0; i < list.count; ++i) d.formats.push_back(list.items[i]);
  const std::uint32_t bpp = pixel_format_bytes(format);
  const std::uint32_t pitch = d.width * bpp + extra_pitch;
  d.pixels.assign(std::size_t(pitch) * d.height, 0xCD);
  d.palette.assign(768, 0xEE);
  d.ok = reader.decode(d.pixels.data(), format, pitch, d.palette.data());
  return d;
}

}  // namespace image_formats_test
