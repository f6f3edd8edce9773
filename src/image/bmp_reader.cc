#include <algorithm>
#include <cstring>

#include "image/bmp_pcx_tga.h"
#include "image/format_readers.h"

bool skip_bytes(ImageSource* source, std::uint64_t count) {
  std::uint8_t scratch[1024];
  while (count > 0) {
    const std::uint32_t n = std::uint32_t(std::min<std::uint64_t>(count, sizeof scratch));
    if (source->read(scratch, n) != n) return false;
    count -= n;
  }
  return true;
}

std::unique_ptr<FormatReader> make_bmp_reader(ImageSource* source) {
  return std::make_unique<BmpReader>(source);
}

bool BmpReader::read_header() {
  std::uint8_t file_header[14];
  if (!read_exact(source, file_header, 14) || file_header[0] != 'B' || file_header[1] != 'M')
    return false;
  std::uint8_t info[64];
  if (!read_exact(source, info, 4)) return false;
  const std::uint32_t info_size = le32(info);
  if (info_size < 12 || info_size > 64) return false;
  data_gap = std::int64_t(le32(file_header + 10)) - 14;
  if (!read_exact(source, info + 4, info_size - 4)) return false;

  std::uint32_t planes = 0;
  if (info_size == 12) {  // OS/2 core header
    image_width = le16(info + 4);
    image_height = le16(info + 6);
    planes = le16(info + 8);
    bits_per_pixel = le16(info + 10);
    palette_entry_size = 3;
    palette_entries = bits_per_pixel == 24 ? 0 : 256;
  } else if (info_size == 40 || info_size == 64) {
    image_width = le32(info + 4);
    image_height = le32(info + 8);
    planes = le16(info + 12);
    bits_per_pixel = le16(info + 14);
    if (le32(info + 16) != 0) return false;  // compressed
    palette_entries = le32(info + 32);
    palette_entry_size = 4;
    // Negative sizes (a top-down bitmap has a negative height) are refused.
    if (std::int32_t(image_width) < 0 || std::int32_t(image_height) < 0) return false;
    // Zero colours used means the full table the depth allows.
    if (bits_per_pixel == 8 && palette_entries == 0) palette_entries = 256;
  } else {
    return false;
  }
  if (planes != 1) return false;
  data_gap -= info_size;
  // An empty bitmap would still loop over up to 2^31 rows of nothing: refused.
  if (image_width == 0 || image_height == 0) return false;
  if (!image_size_fits(image_width, image_height)) return false;

  switch (bits_per_pixel) {
    case 8:
      // The indices are bytes: a larger table cannot be meant and would not fit the palette.
      if (palette_entries > 256) return false;
      formats.append(PixelFormat::indexed8);
      break;
    case 24:
      formats.append(PixelFormat::rgb24);
      break;
    case 32:
      formats.append(PixelFormat::argb32);
      break;
    default:
      return false;
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
      if (!read_exact(source, entry, palette_entry_size)) return false;
      palette[i * 3] = entry[2];
      palette[i * 3 + 1] = entry[1];
      palette[i * 3 + 2] = entry[0];
    }
    data_gap -= std::int64_t(palette_entries) * palette_entry_size;
  }
  if (data_gap > 0 && !skip_bytes(source, std::uint64_t(data_gap))) return false;

  const std::uint32_t padding = std::uint32_t(-row_bytes) & 3;
  auto* out = static_cast<std::uint8_t*>(pixels);
  for (std::uint32_t i = 0; i < image_height; ++i) {
    std::uint8_t* row = out + std::size_t(image_height - 1 - i) * pitch;
    std::uint8_t pad[3];
    if (!read_exact(source, row, std::uint32_t(row_bytes)) ||
        !read_exact(source, pad, padding))
      return false;
    if (bits_per_pixel == 24)
      for (std::uint32_t x = 0; x < image_width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
  }
  return true;
}
