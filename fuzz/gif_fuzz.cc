// Fuzzes the GIF reader through the image reader front-end.
#include "fuzz/image2_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_image_reader(data, size, "picture.gif");
  return 0;
}
