#include <cstring>
#include <new>
#include <string>

#include "image/bmp_pcx_tga.h"
#include "image/format_table.h"

namespace {
std::unique_ptr<FormatReader> create_pcx(ImageSource* source) { return std::make_unique<PcxReader>(source); }
bool sniff_pcx(const std::uint8_t* b, const char*) { return b[0] == 0x0A && b[1] <= 5; }
}  // namespace

const ImageFormat pcx_format = {FileKind::kind_pcx, "PCX", sniff_pcx, create_pcx};

bool PcxReader::read_header() {
  std::uint8_t h[128];
  if (!read_exact(source, h, 128)) return refuse("data ends early");
  if (h[0] != 0x0A || h[1] > 5) return refuse("no PCX signature");
  if (h[2] != 1) return refuse("PCX encoding " + std::to_string(h[2]) + " not supported (only 1, run-length)");
  if (h[3] != 8) return refuse("PCX with " + std::to_string(h[3]) + " bits per plane not supported (only 8)");
  if (h[65] != 1 && h[65] != 3) return refuse("PCX with " + std::to_string(h[65]) + " planes not supported (only 1 or 3)");
  planes = h[65];
  // A maximum below the minimum would wrap to a huge size: refused.
  const std::int64_t width = std::int64_t(get_le16(h + 8)) - get_le16(h + 4) + 1;
  const std::int64_t height = std::int64_t(get_le16(h + 10)) - get_le16(h + 6) + 1;
  if (width <= 0 || height <= 0)
    return refuse("PCX window gives a size of " + std::to_string(width) + " x " + std::to_string(height));
  image_width = std::uint32_t(width);
  image_height = std::uint32_t(height);
  bytes_per_line = get_le16(h + 66);
  if (bytes_per_line != image_width && bytes_per_line != image_width + 1)
    return refuse("PCX bytes per line " + std::to_string(bytes_per_line) + " for a width of " +
                  std::to_string(image_width));
  formats.append(planes == 1 ? PixelFormat::indexed8 : PixelFormat::rgb24);
  header_read = true;
  return true;
}

bool PcxReader::decode(void* pixels, PixelFormat format, std::uint32_t pitch,
                       std::uint8_t* palette) {
  if (!header_read || !supports(format)) return false;
  if (pitch < std::uint64_t(image_width) * planes) return false;
  const std::uint32_t line_size = planes * bytes_per_line;
  std::unique_ptr<std::uint8_t[]> line(new (std::nothrow) std::uint8_t[line_size]);
  if (!line) return false;

  auto* row = static_cast<std::uint8_t*>(pixels);
  for (std::uint32_t y = 0; y < image_height; ++y, row += pitch) {
    std::uint32_t filled = 0;
    while (filled < line_size) {
      std::uint8_t b;
      if (source->read(&b, 1) != 1) return refuse("data ends early");
      if (b >= 0xC0) {
        std::uint8_t value;
        if (source->read(&value, 1) != 1) return refuse("data ends early");
        // A run never writes past the line; the rest of it is dropped.
        const std::uint32_t n = std::min<std::uint32_t>(b - 0xC0u, line_size - filled);
        std::memset(line.get() + filled, value, n);
        filled += n;
      } else {
        line[filled++] = b;
      }
    }
    for (std::uint32_t p = 0; p < planes; ++p) {
      const std::uint8_t* plane = line.get() + p * bytes_per_line;
      for (std::uint32_t x = 0; x < image_width; ++x) row[x * planes + p] = plane[x];
    }
  }

  if (planes == 1 && palette) {
    std::uint8_t marker;
    if (source->read(&marker, 1) != 1) return refuse("data ends early");
    if (marker != 0x0C) return refuse("PCX palette marker " + std::to_string(marker) + " (must be 12)");
    if (!read_exact(source, palette, 768)) return refuse("data ends early");
  }
  return true;
}
