// Pixel format conversions and the front-end's decode, which reaches a format the
// format reader cannot give directly through a packed temporary block.
#include <cstring>
#include <memory>
#include <new>

#include "image/image_reader.h"
#include "image/quantise.h"

namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

// One row from `from` to rgb24 or argb32 or grey8 (never to indexed8).
void convert_row(const u8* s, PixelFormat from, u8* d, PixelFormat to, u32 width,
                 const u8* palette) {
  for (u32 x = 0; x < width; ++x) {
    u8 r, g, b;
    switch (from) {
      case PixelFormat::rgb24: r = s[3 * x]; g = s[3 * x + 1]; b = s[3 * x + 2]; break;
      case PixelFormat::argb32: b = s[4 * x]; g = s[4 * x + 1]; r = s[4 * x + 2]; break;
      case PixelFormat::grey8: r = g = b = s[x]; break;
      default: {
        const u8* e = palette + 3 * s[x];
        r = e[0]; g = e[1]; b = e[2];
        break;
      }
    }
    switch (to) {
      case PixelFormat::rgb24: d[3 * x] = r; d[3 * x + 1] = g; d[3 * x + 2] = b; break;
      case PixelFormat::argb32:
        // Alpha from a 32-bit source is dropped on the way to rgb24 only.
        d[4 * x] = b; d[4 * x + 1] = g; d[4 * x + 2] = r; d[4 * x + 3] = 0xFF;
        break;
      case PixelFormat::grey8:
        d[x] = from == PixelFormat::grey8 ? s[x] : u8((u32(r) + g + b) / 3);
        break;
      default: break;
    }
  }
}

bool valid(PixelFormat f) { return pixel_format_bytes(f) != 0; }

bool to_indexed(const u8* source, PixelFormat from, u32 source_pitch, u8* destination,
                u32 destination_pitch, u32 width, u32 height, u8* palette) {
  if (!palette) return false;
  if (from == PixelFormat::grey8) {
    for (u32 i = 0; i < 256; ++i) palette[3 * i] = palette[3 * i + 1] = palette[3 * i + 2] = u8(i);
    for (u32 y = 0; y < height; ++y)
      std::memcpy(destination + std::size_t(y) * destination_pitch,
                  source + std::size_t(y) * source_pitch, width);
    return true;
  }
  if (width == 0 || height == 0) return true;
  std::unique_ptr<u8[]> packed;
  if (from == PixelFormat::argb32) {
    packed.reset(new (std::nothrow) u8[std::size_t(width) * height * 3]);
    if (!packed) return false;
    for (u32 y = 0; y < height; ++y)
      convert_row(source + std::size_t(y) * source_pitch, from,
                  packed.get() + std::size_t(y) * width * 3, PixelFormat::rgb24, width, nullptr);
    source = packed.get();
    source_pitch = width * 3;
  }
  u32 entries = build_palette(source, width, height, source_pitch, palette, 256);
  if (entries == 0) return false;
  map_to_palette(destination, destination_pitch, source, source_pitch, width, height, palette,
                 entries);
  return true;
}

}  // namespace

bool convert_pixels(const u8* source, PixelFormat from, u32 source_pitch, u8* destination,
                    PixelFormat to, u32 destination_pitch, u32 width, u32 height, u8* palette) {
  if (!valid(from) || !valid(to)) return false;
  if (to == PixelFormat::indexed8 && from != PixelFormat::indexed8)
    return to_indexed(source, from, source_pitch, destination, destination_pitch, width, height,
                      palette);
  if (from == to) {
    std::size_t row = std::size_t(width) * pixel_format_bytes(from);
    for (u32 y = 0; y < height; ++y)
      std::memcpy(destination + std::size_t(y) * destination_pitch,
                  source + std::size_t(y) * source_pitch, row);
    return true;
  }
  if (from == PixelFormat::indexed8 && !palette) return false;
  for (u32 y = 0; y < height; ++y)
    convert_row(source + std::size_t(y) * source_pitch, from,
                destination + std::size_t(y) * destination_pitch, to, width, palette);
  return true;
}

bool ImageReader::decode(void* pixels, PixelFormat format, u32 pitch, u8* palette) {
  if (!inner) return false;
  if (inner->supports(format)) return inner->decode(pixels, format, pitch, palette);

  static constexpr PixelFormat choices[4][3] = {
      {PixelFormat::argb32, PixelFormat::indexed8, PixelFormat::grey8},  // to rgb24
      {PixelFormat::rgb24, PixelFormat::indexed8, PixelFormat::grey8},   // to argb32
      {PixelFormat::rgb24, PixelFormat::argb32, PixelFormat::indexed8},  // to grey8
      {PixelFormat::rgb24, PixelFormat::argb32, PixelFormat::grey8},     // to indexed8
  };
  u32 code = static_cast<u32>(format);
  if (code > 3) return false;
  PixelFormat from = format;
  bool found = false;
  for (PixelFormat candidate : choices[code]) {
    if (inner->supports(candidate)) {
      from = candidate;
      found = true;
      break;
    }
  }
  if (!found) return false;

  u32 w = inner->width(), h = inner->height();
  std::size_t bpp = pixel_format_bytes(from);
  if (std::size_t(pitch) < std::size_t(w) * pixel_format_bytes(format)) return false;
  if (format == PixelFormat::indexed8 && !palette) return false;
  std::size_t packed_pitch = std::size_t(w) * bpp;
  if (packed_pitch > 0xFFFFFFFFu) return false;
  std::size_t bytes = packed_pitch * h;
  std::unique_ptr<u8[]> block(new (std::nothrow) u8[bytes ? bytes : 1]);
  if (!block) return false;
  u8 own_palette[768] = {};
  if (!inner->decode(block.get(), from, u32(packed_pitch), own_palette)) return false;
  return convert_pixels(block.get(), from, u32(packed_pitch), static_cast<u8*>(pixels), format,
                        pitch, w, h, from == PixelFormat::indexed8 ? own_palette : palette);
}
