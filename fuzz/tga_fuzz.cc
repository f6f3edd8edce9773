// Fuzzes the TGA reader through the image reader front-end.
#include "fuzz/format_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_image_reader(data, size, "picture.tga");
  return 0;
}
