#include "image/gif_reader.h"

#include <cstring>
#include <string>

#include "image/format_table.h"
#include "image/gif_lzw.h"

namespace {
std::unique_ptr<FormatReader> create_gif(ImageSource* source) { return std::make_unique<GifReader>(source); }
bool sniff_gif(const std::uint8_t* b, const char*) { return b[0] == 'G' && b[1] == 'I' && b[2] == 'F'; }
}  // namespace

const ImageFormat gif_format = {FileKind::kind_gif, "GIF", sniff_gif, create_gif};

bool GifReader::read_colour_table(std::uint8_t flags) {
  colour_count = 2u << (flags & 7);
  if (!(flags & 0x80)) return true;
  return read_exact(source, palette, colour_count * 3);
}

void GifReader::read_extension() {
  std::uint8_t label;
  if (source->read(&label, 1) != 1) return;
  if (label == 0xF9) {  // graphic control
    std::uint8_t size = 0;
    std::uint8_t block[255];
    if (source->read(&size, 1) != 1) return;
    if (source->read(block, size) != 4 || size != 4) return;
    if (block[0] & 1) {
      transparent = true;
      transparent_index = block[3];
    }
  }
  gif_skip_sub_blocks(*source);
}

bool GifReader::read_header() {
  colour_count = 0;
  transparent = false;
  transparent_index = 0;
  std::uint8_t signature[6];
  if (!read_exact(source, signature, 6)) return refuse("data ends early");
  if (std::memcmp(signature, "GIF", 3) != 0) return refuse("no GIF signature");
  std::uint8_t screen[7];
  if (!read_exact(source, screen, 7)) return refuse("data ends early");
  image_width = get_le16(screen);
  image_height = get_le16(screen + 2);
  if (!read_colour_table(screen[4])) return refuse("data ends early");

  for (;;) {
    std::uint8_t b;
    if (source->read(&b, 1) != 1) return refuse("data ends early");
    if (b == 0x3B) return refuse("GIF without an image (trailer first)");
    if (b == 0x2C) break;
    if (b == 0x21) read_extension();
    // Any other byte is passed over.
  }

  std::uint8_t descriptor[9];
  if (!read_exact(source, descriptor, 9)) return refuse("data ends early");
  image_width = get_le16(descriptor + 4);
  image_height = get_le16(descriptor + 6);
  interlaced = (descriptor[8] & 0x40) != 0;
  if (descriptor[8] & 0x80) {
    if (!read_colour_table(descriptor[8])) return refuse("data ends early");
  }
  if (!read_exact(source, &min_code_size, 1)) return refuse("data ends early");
  if (min_code_size < 2 || min_code_size > 11)
    return refuse("GIF minimum code size " + std::to_string(min_code_size) + " (must be 2..11)");

  formats.append(PixelFormat::indexed8);
  if (transparent) formats.append(PixelFormat::argb32);
  header_read = true;
  return true;
}

bool GifReader::decode(void* pixels, PixelFormat format, std::uint32_t pitch,
                       std::uint8_t* out_palette) {
  if (!header_read || !supports(format)) return false;
  const bool indexed = format == PixelFormat::indexed8;
  if (pitch < std::uint64_t(image_width) * (indexed ? 1 : 4)) return false;
  if (indexed && !out_palette) return false;

  LzwDecoder lzw(*source, min_code_size);
  if (!lzw.ok()) return refuse("GIF decoder out of memory");
  if (indexed) std::memcpy(out_palette, palette, colour_count * 3);

  static constexpr std::uint32_t kPassStart[4] = {0, 4, 2, 1};
  static constexpr std::uint32_t kPassStep[4] = {8, 8, 4, 2};
  const int passes = interlaced ? 4 : 1;
  auto* base = static_cast<std::uint8_t*>(pixels);
  for (int pass = 0; pass < passes; ++pass) {
    const std::uint32_t start = interlaced ? kPassStart[pass] : 0;
    const std::uint32_t step = interlaced ? kPassStep[pass] : 1;
    for (std::uint32_t y = start; y < image_height; y += step) {
      std::uint8_t* row = base + std::size_t(y) * pitch;
      if (indexed) {
        for (std::uint32_t x = 0; x < image_width; ++x) row[x] = lzw.next_pixel();
      } else {
        for (std::uint32_t x = 0; x < image_width; ++x) {
          const std::uint8_t c = lzw.next_pixel();
          const std::uint8_t* e = palette + c * 3;
          std::uint8_t* o = row + x * 4;
          o[0] = e[2];
          o[1] = e[1];
          o[2] = e[0];
          o[3] = c == transparent_index ? 0 : 255;
        }
      }
    }
  }
  return true;
}
