// Fuzzes the colour quantiser: the first bytes choose the size and the palette limit, the
// rest are pixels. Every index written must name a palette entry that was built.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/quantise.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t width = 1 + data[0] % 64;
  const std::uint32_t max_colours = 1 + data[1];
  const std::uint32_t extra = data[2] % 4;
  data += 3;
  size -= 3;
  const std::uint32_t pitch = width * 3 + extra;
  const std::uint32_t height = std::uint32_t(size / pitch);
  if (height == 0) return 0;
  std::uint8_t palette[768];
  const std::uint32_t n = build_palette(data, width, height, pitch, palette, max_colours);
  if (n == 0 || n > max_colours) std::abort();
  std::vector<std::uint8_t> out(std::size_t(width) * height);
  map_to_palette(out.data(), width, data, pitch, width, height, palette, n);
  for (std::uint8_t v : out)
    if (v >= n) std::abort();
  return 0;
}
