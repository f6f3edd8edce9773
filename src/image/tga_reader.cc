#include <algorithm>
#include <new>

#include "image/bmp_pcx_tga.h"
#include "image/format_readers.h"

namespace {

// 5-bit channel to 8 bits, rounded: 0, 8, 16, 25, 33, ..., 247, 255.
struct FiveBitTable {
  std::uint8_t value[32];
  constexpr FiveBitTable() : value() {
    for (int i = 0; i < 32; ++i) value[i] = std::uint8_t((i * 255 + 15) / 31);
  }
};
constexpr FiveBitTable kFiveBit;

}  // namespace

std::unique_ptr<FormatReader> make_tga_reader(ImageSource* source) {
  return std::make_unique<TgaReader>(source);
}

bool TgaReader::read_header() {
  std::uint8_t h[18];
  if (!read_exact(source, h, 18)) return false;
  const std::uint32_t id_length = h[0];
  const std::uint32_t map_type = h[1];
  std::uint32_t image_type = h[2];
  const std::uint32_t map_length = le16(h + 5);
  const std::uint32_t map_entry_size = h[7];
  image_width = le16(h + 12);
  image_height = le16(h + 14);
  std::uint32_t depth = h[16];
  const std::uint8_t descriptor = h[17];

  if (depth == 15) depth = 16;
  if (depth % 8 != 0 || depth == 0 || depth > 32) return false;
  bytes_per_pixel = depth / 8;
  bottom_up = (descriptor & 0x20) == 0;
  if (descriptor & 0xC0) return false;
  if (map_type > 1) return false;
  rle = image_type > 8;
  if (rle) {
    repeat_count = raw_count = 0;
    image_type -= 8;
  }

  colour_map_length = 0;
  std::uint64_t skip_map = 0;
  switch (image_type) {
    case 1:
      if (bytes_per_pixel != 1 || map_type != 1 || map_entry_size != 24) return false;
      colour_map_length = map_length;
      formats.append(PixelFormat::indexed8);
      break;
    case 2:
      if (bytes_per_pixel == 1) return false;
      formats.append(bytes_per_pixel == 4 ? PixelFormat::argb32 : PixelFormat::rgb24);
      break;
    case 3:
      if (bytes_per_pixel != 1) return false;
      formats.append(PixelFormat::grey8);
      break;
    default:
      break;  // nothing listed: decode refuses every format
  }
  // A colour map announced by a true-colour or grey file is not used, but it sits between
  // the id field and the pixels, so it is passed over.
  if (image_type != 1 && map_type == 1) skip_map = std::uint64_t(map_length) * ((map_entry_size + 7) / 8);

  if (!skip_bytes(source, id_length) || !skip_bytes(source, skip_map)) return false;
  header_read = true;
  return true;
}

bool TgaReader::fetch_pixel() {
  if (!rle) return read_exact(source, pixel, bytes_per_pixel);
  if (repeat_count > 0) {
    --repeat_count;
    return true;
  }
  if (--raw_count >= 0) return read_exact(source, pixel, bytes_per_pixel);
  std::uint8_t header;
  if (source->read(&header, 1) != 1) return false;
  if (header >= 0x80) {
    repeat_count = header & 0x7F;
    raw_count = 0;
  } else {
    raw_count = header & 0x7F;
  }
  return read_exact(source, pixel, bytes_per_pixel);
}

bool TgaReader::decode(void* pixels, PixelFormat format, std::uint32_t pitch,
                       std::uint8_t* palette) {
  if (!header_read || !supports(format)) return false;
  const std::uint32_t out_bytes = pixel_format_bytes(format);
  if (pitch < std::uint64_t(image_width) * out_bytes) return false;
  if (format == PixelFormat::indexed8 && !palette) return false;

  // Only 256 entries can be reached by byte indices; the rest of a longer map is dropped.
  for (std::uint32_t i = 0; i < colour_map_length; ++i) {
    std::uint8_t entry[3];
    if (!read_exact(source, entry, 3)) return false;
    if (i < 256) {
      palette[i * 3] = entry[2];
      palette[i * 3 + 1] = entry[1];
      palette[i * 3 + 2] = entry[0];
    }
  }

  auto* base = static_cast<std::uint8_t*>(pixels);
  for (std::uint32_t i = 0; i < image_height; ++i) {
    const std::uint32_t y = bottom_up ? image_height - 1 - i : i;
    std::uint8_t* out = base + std::size_t(y) * pitch;
    for (std::uint32_t x = 0; x < image_width; ++x) {
      if (!fetch_pixel()) return false;
      switch (bytes_per_pixel) {
        case 1:
          *out++ = pixel[0];
          break;
        case 2: {
          const std::uint32_t v = le16(pixel);
          *out++ = kFiveBit.value[(v >> 10) & 31];
          *out++ = kFiveBit.value[(v >> 5) & 31];
          *out++ = kFiveBit.value[v & 31];
          break;
        }
        case 3:
          *out++ = pixel[2];
          *out++ = pixel[1];
          *out++ = pixel[0];
          break;
        default:
          for (int k = 0; k < 4; ++k) *out++ = pixel[k];
          break;
      }
    }
  }
  return true;
}
