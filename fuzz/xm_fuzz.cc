// Loads arbitrary bytes as an XM module and renders one second of it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/module.h"
#include "sound/render.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  // Most inputs get the signature put in front, so the fuzzer spends its time behind it;
  // inputs starting with 'E' are taken as they are (and test the signature check).
  static const char signature[] = "Extended Module: ";
  std::vector<std::uint8_t> bytes;
  if (size > 0 && data[0] == 'E') {
    bytes.assign(data, data + size);
  } else {
    bytes.assign(signature, signature + 17);
    bytes.insert(bytes.end(), data, data + size);
  }
  auto player = module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (!player) return 0;
  const std::vector<std::int16_t> pcm = render_module(*player, 1.0, false);
  if (pcm.size() != 2u * mix_rate) __builtin_trap();  // one second, whatever the song does
  return 0;
}
