#include <algorithm>
#include <new>
#include <cstring>
#include <string>

#include "image/bmp_pcx_tga.h"
#include "image/format_table.h"

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

namespace {
std::unique_ptr<FormatReader> create_tga(ImageSource* source) { return std::make_unique<TgaReader>(source); }
// TGA files have no signature: they are known by the ending ".tga" (any case).
bool sniff_tga(const std::uint8_t*, const char* name) {
  if (name == nullptr) return false;
  const std::size_t length = std::strlen(name);
  if (length < 4) return false;
  const char* e = name + length - 4;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
  return e[0] == '.' && lower(e[1]) == 't' && lower(e[2]) == 'g' && lower(e[3]) == 'a';
}
}  // namespace

const ImageFormat tga_format = {FileKind::kind_tga, "TGA", sniff_tga, create_tga};

bool TgaReader::read_header() {
  std::uint8_t h[18];
  if (!read_exact(source, h, 18)) return refuse("data ends early");
  const std::uint32_t id_length = h[0];
  const std::uint32_t map_type = h[1];
  std::uint32_t image_type = h[2];
  const std::uint32_t map_first = get_le16(h + 3);
  const std::uint32_t map_length = get_le16(h + 5);
  const std::uint32_t map_entry_size = h[7];
  image_width = get_le16(h + 12);
  image_height = get_le16(h + 14);
  std::uint32_t depth = h[16];
  const std::uint8_t descriptor = h[17];
  const std::string type_text = "TGA image type " + std::to_string(h[2]);

  if (depth == 15) depth = 16;
  if (depth % 8 != 0 || depth == 0 || depth > 32)
    return refuse("TGA pixel depth " + std::to_string(h[16]) + " not supported");
  bytes_per_pixel = depth / 8;
  bottom_up = (descriptor & 0x20) == 0;
  right_to_left = (descriptor & 0x10) != 0;
  if (descriptor & 0xC0)
    return refuse("TGA interleaved rows (descriptor " + std::to_string(descriptor) + ") not supported");
  if (map_type > 1) return refuse("TGA colour map type " + std::to_string(map_type) + " not supported");
  rle = image_type > 8;
  if (rle) {
    repeat_count = raw_count = 0;
    image_type -= 8;
  }

  colour_map_length = 0;
  colour_map_first = 0;
  std::uint64_t skip_map = 0;
  switch (image_type) {
    case 1:
      if (map_type != 1) return refuse(type_text + " without a colour map");
      if (bytes_per_pixel != 1)
        return refuse(type_text + " with " + std::to_string(h[16]) + "-bit indices not supported");
      if (map_entry_size != 24)
        return refuse("TGA colour map of " + std::to_string(map_entry_size) + "-bit entries not supported");
      colour_map_length = map_length;
      colour_map_first = map_first;
      formats.append(PixelFormat::indexed8);
      break;
    case 2:
      if (bytes_per_pixel == 1) return refuse(type_text + " with 8-bit pixels not supported");
      formats.append(bytes_per_pixel == 4 ? PixelFormat::argb32 : PixelFormat::rgb24);
      break;
    case 3:
      if (bytes_per_pixel != 1)
        return refuse(type_text + " (grey) with " + std::to_string(h[16]) + "-bit pixels not supported");
      formats.append(PixelFormat::grey8);
      break;
    default:
      return refuse(type_text + " not supported");
  }
  // A colour map announced by a true-colour or grey file is not used, but it sits between
  // the id field and the pixels, so it is passed over.
  if (image_type != 1 && map_type == 1) skip_map = std::uint64_t(map_length) * ((map_entry_size + 7) / 8);

  if (!skip_bytes(source, id_length) || !skip_bytes(source, skip_map)) return refuse("data ends early");
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

  // Entry i of the map is palette index first + i; only indices below 256 can be reached by
  // byte pixels.
  for (std::uint32_t i = 0; i < colour_map_length; ++i) {
    std::uint8_t entry[3];
    if (!read_exact(source, entry, 3)) return refuse("data ends early");
    const std::uint32_t index = colour_map_first + i;
    if (index < 256) {
      palette[index * 3] = entry[2];
      palette[index * 3 + 1] = entry[1];
      palette[index * 3 + 2] = entry[0];
    }
  }

  auto* base = static_cast<std::uint8_t*>(pixels);
  for (std::uint32_t i = 0; i < image_height; ++i) {
    const std::uint32_t y = bottom_up ? image_height - 1 - i : i;
    std::uint8_t* const row = base + std::size_t(y) * pitch;
    for (std::uint32_t x = 0; x < image_width; ++x) {
      if (!fetch_pixel()) return refuse("data ends early");
      std::uint8_t* out = row + std::size_t(right_to_left ? image_width - 1 - x : x) * out_bytes;
      switch (bytes_per_pixel) {
        case 1:
          *out++ = pixel[0];
          break;
        case 2: {
          const std::uint32_t v = get_le16(pixel);
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
