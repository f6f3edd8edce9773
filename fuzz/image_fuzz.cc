// Arbitrary bytes through the image reader into every pixel format. The first byte picks
// the file name (so the TGA rule is reached too); sizes are capped to keep runs fast.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "image/image_reader.h"
#include "image/jpeg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const char* name = (data[0] & 1) ? "picture.TGA" : "picture.jpg";
  for (std::uint32_t f = 0; f < 4; ++f) {
    MemoryByteSource source(data + 1, size - 1);
    ImageReader reader(&source, name);
    if (!reader.read_header()) {
      if (reader.kind() == FileKind::kind_jpeg && std::strlen(reader.why()) == 0) __builtin_trap();
      continue;
    }
    const std::uint32_t w = reader.width(), h = reader.height();
    if (std::uint64_t(w) * h > (1u << 16)) return 0;  // keeps each run short
    const PixelFormat format = PixelFormat(f);
    const std::uint32_t pitch = w * pixel_format_bytes(format) + 3;  // a pitch with slack
    std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[std::size_t(pitch) * h + 1]);
    std::uint8_t palette[768];
    reader.decode(pixels.get(), format, pitch, palette);
    FormatList list;
    reader.copy_formats(list);
  }
  return 0;
}
