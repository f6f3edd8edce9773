// Pixel format conversions and the front-end's decode, which reaches a format the
// format reader cannot give directly through a packed temporary block.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "host/cpu.h"

#ifdef KESTOL_X86
#include <immintrin.h>
#endif

#include "image/image_kernels.h"
#include "image/image_reader.h"
#include "image/quantise.h"

namespace {

using u8 = std::uint8_t;
using u32 = std::uint32_t;

// Reads pixel x of a row as R, G, B.
template <PixelFormat From>
inline void read_pixel(const u8* s, u32 x, const u8* palette, u8& r, u8& g, u8& b) {
  if constexpr (From == PixelFormat::rgb24) {
    r = s[3 * x]; g = s[3 * x + 1]; b = s[3 * x + 2];
  } else if constexpr (From == PixelFormat::argb32) {
    b = s[4 * x]; g = s[4 * x + 1]; r = s[4 * x + 2];
  } else if constexpr (From == PixelFormat::grey8) {
    r = g = b = s[x];
  } else {
    const u8* e = palette + 3 * s[x];
    r = e[0]; g = e[1]; b = e[2];
  }
}

// One row from From to To (rgb24, argb32 or grey8; never to indexed8). The formats are
// fixed per instance, so the per-pixel loop has no branches.
template <PixelFormat From, PixelFormat To>
void convert_row_as(const u8* s, u8* d, u32 width, const u8* palette) {
  for (u32 x = 0; x < width; ++x) {
    u8 r, g, b;
    read_pixel<From>(s, x, palette, r, g, b);
    if constexpr (To == PixelFormat::rgb24) {
      d[3 * x] = r; d[3 * x + 1] = g; d[3 * x + 2] = b;
    } else if constexpr (To == PixelFormat::argb32) {
      // Alpha from a 32-bit source is dropped on the way to rgb24 only.
      d[4 * x] = b; d[4 * x + 1] = g; d[4 * x + 2] = r; d[4 * x + 3] = 0xFF;
    } else {
      d[x] = From == PixelFormat::grey8 ? s[x] : u8((u32(r) + g + b) / 3);
    }
  }
}

#ifdef KESTOL_X86
// rgb24 to argb32, four pixels per shuffle: what every colour JPEG asked for 32-bit
// pixels goes through.
__attribute__((target("ssse3"))) void rgb_to_argb_ssse3_body(const u8* s, u8* d, u32 width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  u32 x = 0;
  // Each step reads 16 bytes for 12 used ones, so stop while 16 remain in the row.
  for (; x + 6 <= width; x += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x),
                     _mm_or_si128(_mm_shuffle_epi8(v, order), alpha));
  }
  convert_row_as<PixelFormat::rgb24, PixelFormat::argb32>(s + 3 * x, d + 4 * x, width - x,
                                                          nullptr);
}
#endif

template <PixelFormat From>
void convert_row_from(const u8* s, u8* d, PixelFormat to, u32 width, const u8* palette) {
  switch (to) {
    case PixelFormat::rgb24: convert_row_as<From, PixelFormat::rgb24>(s, d, width, palette); break;
    case PixelFormat::argb32:
      if (From == PixelFormat::rgb24) {
        image_kernels().rgb_to_argb_row(s, d, width);
        break;
      }
      convert_row_as<From, PixelFormat::argb32>(s, d, width, palette);
      break;
    case PixelFormat::grey8: convert_row_as<From, PixelFormat::grey8>(s, d, width, palette); break;
    default: break;
  }
}

void convert_row(const u8* s, PixelFormat from, u8* d, PixelFormat to, u32 width,
                 const u8* palette) {
  switch (from) {
    case PixelFormat::rgb24: convert_row_from<PixelFormat::rgb24>(s, d, to, width, palette); break;
    case PixelFormat::argb32: convert_row_from<PixelFormat::argb32>(s, d, to, width, palette); break;
    case PixelFormat::grey8: convert_row_from<PixelFormat::grey8>(s, d, to, width, palette); break;
    default: convert_row_from<PixelFormat::indexed8>(s, d, to, width, palette); break;
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

void rgb_to_argb_row_plain(const u8* source, u8* destination, u32 width) {
  convert_row_as<PixelFormat::rgb24, PixelFormat::argb32>(source, destination, width, nullptr);
}

#ifdef KESTOL_X86
__attribute__((target("ssse3"))) void rgb_to_argb_row_ssse3(const u8* source, u8* destination,
                                                            u32 width) {
  rgb_to_argb_ssse3_body(source, destination, width);
}
#endif

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

namespace {

// The format a decode into `format` reads from the file: `format` itself, or the first
// the file gives of the three the conversion can start from.
bool conversion_source(const FormatReader& inner, PixelFormat format, PixelFormat& from) {
  static constexpr PixelFormat choices[4][3] = {
      {PixelFormat::argb32, PixelFormat::indexed8, PixelFormat::grey8},  // to rgb24
      {PixelFormat::rgb24, PixelFormat::indexed8, PixelFormat::grey8},   // to argb32
      {PixelFormat::rgb24, PixelFormat::argb32, PixelFormat::indexed8},  // to grey8
      {PixelFormat::rgb24, PixelFormat::argb32, PixelFormat::grey8},     // to indexed8
  };
  u32 code = static_cast<u32>(format);
  if (code > 3) return false;
  for (PixelFormat candidate : choices[code]) {
    if (inner.supports(candidate)) {
      from = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

std::uint64_t ImageReader::decode_scratch_bytes(PixelFormat format) const {
  PixelFormat from;
  if (!inner || inner->supports(format) || !conversion_source(*inner, format, from)) return 0;
  return std::uint64_t(inner->width()) * inner->height() * pixel_format_bytes(from);
}

bool ImageReader::decode(void* pixels, PixelFormat format, u32 pitch, u8* palette) {
  if (!inner) return false;
  if (inner->supports(format)) return inner->decode(pixels, format, pitch, palette);

  PixelFormat from = format;
  if (!conversion_source(*inner, format, from))
    return refuse(std::string("no conversion to ") + pixel_format_name(format));

  u32 w = inner->width(), h = inner->height();
  std::size_t bpp = pixel_format_bytes(from);
  if (std::size_t(pitch) < std::size_t(w) * pixel_format_bytes(format)) return false;
  if (format == PixelFormat::indexed8 && !palette) return false;
  std::size_t packed_pitch = std::size_t(w) * bpp;
  if (packed_pitch > 0xFFFFFFFFu) return false;
  std::size_t bytes = packed_pitch * h;
  std::unique_ptr<u8[]> block(new (std::nothrow) u8[bytes ? bytes : 1]);
  if (!block) return refuse("out of memory for a conversion buffer of " + std::to_string(bytes) + " bytes");
  u8 own_palette[768] = {};
  if (!inner->decode(block.get(), from, u32(packed_pitch), own_palette)) return false;
  if (!convert_pixels(block.get(), from, u32(packed_pitch), static_cast<u8*>(pixels), format,
                      pitch, w, h, from == PixelFormat::indexed8 ? own_palette : palette))
    return refuse(std::string("cannot convert ") + pixel_format_name(from) + " to " +
                  pixel_format_name(format));
  return true;
}
