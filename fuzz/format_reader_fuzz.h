// Shared body of the BMP, PCX, TGA and GIF fuzz targets: header, then a decode in every
// pixel format (each through a fresh reader, since a decode consumes the data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/image_reader.h"

inline void fuzz_image_reader(const std::uint8_t* data, std::size_t size, const char* name) {
  for (std::uint32_t f = 0; f < 4; ++f) {
    MemoryByteSource source(data, size);
    ImageReader reader(&source, name);
    if (!reader.read_header()) {
      if (std::strlen(reader.why()) == 0) std::abort();  // every refusal gives its reason
      return;
    }
    const std::uint64_t w = reader.width(), h = reader.height();
    if (w * h > (1u << 18)) return;  // keeps each run small and fast
    const auto format = static_cast<PixelFormat>(f);
    const std::uint32_t pitch = std::uint32_t(w * pixel_format_bytes(format) + (f & 1));
    std::vector<std::uint8_t> pixels(std::size_t(pitch) * h + 1, 0);
    std::uint8_t palette[768];
    std::memset(palette, 0, sizeof palette);
    if (reader.decode_scratch_bytes(format) > w * h * 4) std::abort();
    reader.decode(pixels.data(), format, pitch, palette);
  }
}
