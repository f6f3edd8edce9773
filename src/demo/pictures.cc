// Reading the demo's pictures from the mounted archive through the image reader.
#include <cstdlib>
#include <memory>

#include "app/fatal.h"
#include "demo/demo.h"
#include "fs/archive.h"
#include "fs/file_system.h"
#include "image/image_reader.h"

namespace {

bool load(Picture& picture, const char* name, PixelFormat format, std::uint32_t bytes_per_pixel) {
  Stream* stream = data_file_system != nullptr ? data_file_system->open(NameString(name), mode_read) : nullptr;
  if (stream == nullptr) fatal_error("Can't open image '%s'!", name);
  auto reader = std::make_unique<ImageReader>(stream, name);
  // A picture of no pixels is as unusable as a header that cannot be read.
  if (!reader->read_header() || reader->width() == 0 || reader->height() == 0) {
    reader.reset();
    stream->close();
    fatal_error("Can't read image header for '%s'!", name);
  }
  const std::uint32_t width = reader->width(), height = reader->height();
  picture.width = static_cast<std::int32_t>(width);
  picture.height = static_cast<std::int32_t>(height);
  // A header may claim up to 65535 x 65535 pixels; the demo's pictures are screen-sized,
  // so anything beyond max_picture_pixels is refused before memory is taken for it.
  const std::uint64_t count = std::uint64_t{width} * height;
  picture.pixels = count <= max_picture_pixels
                       ? static_cast<std::uint32_t*>(std::malloc(count * bytes_per_pixel))
                       : nullptr;
  if (picture.pixels == nullptr || !reader->decode(picture.pixels, format, width * bytes_per_pixel, nullptr)) {
    picture_free(picture);
    reader.reset();
    stream->close();
    fatal_error("Can't decode image '%s'!", name);
  }
  reader.reset();
  stream->close();
  return true;
}

}  // namespace

bool picture_load(Picture& picture, const char* name) { return load(picture, name, PixelFormat::argb32, 4); }

bool picture_load_grey(Picture& picture, const char* name) { return load(picture, name, PixelFormat::grey8, 1); }

void picture_apply_mask(Picture& colour, const Picture& mask) {
  const std::int32_t rows = colour.height < mask.height ? colour.height : mask.height;
  const std::int32_t cols = colour.width < mask.width ? colour.width : mask.width;
  const auto* alpha = reinterpret_cast<const std::uint8_t*>(mask.pixels);
  for (std::int32_t y = 0; y < rows; ++y) {
    std::uint32_t* row = colour.pixels + static_cast<std::size_t>(y) * colour.width;
    const std::uint8_t* a = alpha + static_cast<std::size_t>(y) * mask.width;
    for (std::int32_t x = 0; x < cols; ++x) row[x] = (std::uint32_t{a[x]} << 24) | (row[x] & 0x00FFFFFFu);
  }
}

bool picture_load_masked(Picture& picture, const char* colour_name, const char* mask_name) {
  picture_load(picture, colour_name);
  Picture mask{};
  picture_load_grey(mask, mask_name);
  picture_apply_mask(picture, mask);
  picture_free(mask);
  return true;
}

void picture_free(Picture& picture) {
  std::free(picture.pixels);
  picture.pixels = nullptr;
  picture.width = 0;
  picture.height = 0;
}
