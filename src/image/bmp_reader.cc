#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "image/bmp_pcx_tga.h"
#include "image/format_table.h"

bool skip_bytes(ImageSource* source, std::uint64_t count) {
  std::uint8_t scratch[1024];
  while (count > 0) {
    const std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(count, sizeof scratch));
    if (source->read(scratch, n) != n) return false;
    count -= n;
  }
  return true;
}

namespace {
std::unique_ptr<FormatReader> create_bmp(ImageSource* source) { return std::make_unique<BmpReader>(source); }
bool sniff_bmp(const std::uint8_t* b, const char*) { return b[0] == 'B' && b[1] == 'M'; }
}  // namespace

const ImageFormat bmp_format = {FileKind::kind_bmp, "BMP", sniff_bmp, create_bmp};

namespace {

const char* bmp_compression_name(std::uint32_t c) {
  switch (c) {
    case 1: return "RLE8";
    case 2: return "RLE4";
    case 3: return "bit fields";
    case 4: return "JPEG";
    case 5: return "PNG";
    case 6: return "alpha bit fields";
    default: return "unknown";
  }
}

}  // namespace

bool BmpReader::read_header() {
  std::uint8_t file_header[14];
  if (!read_exact(source, file_header, 14)) return refuse("data ends early");
  if (file_header[0] != 'B' || file_header[1] != 'M') return refuse("no BM signature");
  std::uint8_t info[124 + 12];
  if (!read_exact(source, info, 4)) return refuse("data ends early");
  const std::uint32_t info_size = get_le32(info);
  // Core (12), info (40), the version 2 to 5 headers (52, 56, 108, 124) and OS/2 2 (64).
  if (info_size != 12 && info_size != 40 && info_size != 52 && info_size != 56 &&
      info_size != 64 && info_size != 108 && info_size != 124)
    return refuse("BMP info header size " + std::to_string(info_size) + " not supported");
  data_gap = std::int64_t(get_le32(file_header + 10)) - 14;
  if (!read_exact(source, info + 4, info_size - 4)) return refuse("data ends early");

  std::uint32_t planes = 0;
  top_down = false;
  if (info_size == 12) {  // OS/2 core header
    image_width = get_le16(info + 4);
    image_height = get_le16(info + 6);
    planes = get_le16(info + 8);
    bits_per_pixel = get_le16(info + 10);
    palette_entry_size = 3;
    palette_entries = bits_per_pixel == 24 ? 0 : 256;
  } else {
    const std::int32_t width = std::int32_t(get_le32(info + 4));
    const std::int32_t height = std::int32_t(get_le32(info + 8));
    planes = get_le16(info + 12);
    bits_per_pixel = get_le16(info + 14);
    const std::uint32_t compression = get_le32(info + 16);
    if (width < 0) return refuse("BMP width " + std::to_string(width) + " is negative");
    // A negative height stores the top row first.
    if (height < 0 && height != INT32_MIN) top_down = true;
    if (height == INT32_MIN) return refuse("BMP height " + std::to_string(height) + " out of range");
    image_width = std::uint32_t(width);
    image_height = std::uint32_t(height < 0 ? -height : height);
    if (compression == 3 || compression == 6) {
      // Bit fields are read when they give the plain layout of the depth.
      std::uint32_t masks[3];
      if (info_size >= 52) {
        masks[0] = get_le32(info + 40), masks[1] = get_le32(info + 44), masks[2] = get_le32(info + 48);
      } else {
        std::uint8_t m[12];
        if (!read_exact(source, m, 12)) return refuse("data ends early");
        data_gap -= 12;
        masks[0] = get_le32(m), masks[1] = get_le32(m + 4), masks[2] = get_le32(m + 8);
      }
      const bool plain = (bits_per_pixel == 32 || bits_per_pixel == 24) && masks[0] == 0xFF0000u &&
                         masks[1] == 0xFF00u && masks[2] == 0xFFu;
      if (!plain) {
        char text[120];
        std::snprintf(text, sizeof text,
                      "BMP bit fields %08X %08X %08X at %u bits per pixel not supported (only "
                      "00FF0000 0000FF00 000000FF)",
                      masks[0], masks[1], masks[2], bits_per_pixel);
        return refuse(text);
      }
    } else if (compression != 0) {
      return refuse("BMP compression " + std::to_string(compression) + " (" +
                    bmp_compression_name(compression) + ") not supported");
    }
    palette_entries = get_le32(info + 32);
    palette_entry_size = 4;
    // Zero colours used means the full table the depth allows.
    if (bits_per_pixel == 8 && palette_entries == 0) palette_entries = 256;
  }
  if (planes != 1) return refuse("BMP planes " + std::to_string(planes) + " (must be 1)");
  data_gap -= info_size;
  // An empty bitmap would still loop over up to 2^31 rows of nothing: refused.
  if (image_width == 0 || image_height == 0)
    return refuse("BMP size " + std::to_string(image_width) + " x " + std::to_string(image_height) +
                  " (width and height must be 1 or more)");
  if (!image_size_fits(image_width, image_height))
    return refuse("BMP size " + std::to_string(image_width) + " x " + std::to_string(image_height) +
                  " too large");

  switch (bits_per_pixel) {
    case 8:
      // The indices are bytes: a larger table cannot be meant and would not fit the palette.
      if (palette_entries > 256)
        return refuse("BMP palette of " + std::to_string(palette_entries) + " colours (at most 256)");
      formats.append(PixelFormat::indexed8);
      break;
    case 24:
      formats.append(PixelFormat::rgb24);
      break;
    case 32:
      formats.append(PixelFormat::argb32);
      break;
    default:
      return refuse("BMP with " + std::to_string(bits_per_pixel) + " bits per pixel not supported");
  }
  header_read = true;
  return true;
}

bool BmpReader::decode(void* pixels, PixelFormat format, std::uint32_t pitch,
                       std::uint8_t* palette) {
  if (!header_read || !supports(format)) return false;
  const std::uint64_t row_bytes = std::uint64_t(image_width) * bits_per_pixel / 8;
  if (pitch < row_bytes || (format == PixelFormat::indexed8 && !palette)) return false;

  if (bits_per_pixel < 24) {
    for (std::uint32_t i = 0; i < palette_entries; ++i) {
      std::uint8_t entry[4];
      if (!read_exact(source, entry, palette_entry_size)) return refuse("data ends early");
      palette[i * 3] = entry[2];
      palette[i * 3 + 1] = entry[1];
      palette[i * 3 + 2] = entry[0];
    }
    data_gap -= std::int64_t(palette_entries) * palette_entry_size;
  }
  if (data_gap > 0 && !skip_bytes(source, std::uint64_t(data_gap))) return refuse("data ends early");

  const std::uint32_t padding = std::uint32_t(-row_bytes) & 3;
  auto* out = static_cast<std::uint8_t*>(pixels);
  for (std::uint32_t i = 0; i < image_height; ++i) {
    std::uint8_t* row = out + std::size_t(top_down ? i : image_height - 1 - i) * pitch;
    std::uint8_t pad[3];
    if (!read_exact(source, row, std::uint32_t(row_bytes)) ||
        !read_exact(source, pad, padding))
      return refuse("data ends early");
    if (bits_per_pixel == 24)
      for (std::uint32_t x = 0; x < image_width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
  }
  return true;
}
