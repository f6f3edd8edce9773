// Loads arbitrary bytes as an XM module and renders one second of it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/module.h"
#include "sound/render.h"
#include "authoring/xm_writer.h"

namespace {

// A module that uses every part of the format, for inputs that patch it.
const std::vector<std::uint8_t>& base_module() {
  static const std::vector<std::uint8_t> bytes = [] {
    XmModule m;
    m.channels = 4;
    m.orders = {0, 1, 0};
    m.speed = 3;
    XmPattern p;
    p.rows = 16;
    for (int r = 0; r < 16; ++r)
      for (int c = 0; c < 4; ++c)
        p.at(r, c, 4) = {static_cast<std::uint8_t>(r % 3 ? 0 : 30 + r + c), static_cast<std::uint8_t>(1 + (r + c) % 2),
                         static_cast<std::uint8_t>(r % 5 ? 0 : 0x20 + r), static_cast<std::uint8_t>((r * 4 + c) % 36),
                         static_cast<std::uint8_t>(r * 17 + c)};
    m.patterns = {p, p};
    m.patterns[1].rows = 8;
    for (int i = 0; i < 2; ++i) {
      XmInstrument ins;
      ins.volume_envelope.points = {{0, 64}, {5, 20}, {9, 40}, {20, 0}};
      ins.volume_envelope.type = 7;
      ins.volume_envelope.sustain = 2;
      ins.volume_envelope.loop_start = 1;
      ins.volume_envelope.loop_end = 2;
      ins.panning_envelope.points = {{0, 0}, {10, 64}};
      ins.panning_envelope.type = 1;
      ins.vibrato_type = static_cast<std::uint8_t>(i);
      ins.vibrato_depth = 8;
      ins.vibrato_rate = 20;
      ins.vibrato_sweep = 4;
      ins.fadeout = 500;
      XmSample s;
      s.sixteen_bit = i == 0;
      for (int k = 0; k < 300; ++k) s.data.push_back(static_cast<std::int16_t>((k * 1237) % 20000 - 10000));
      s.loop = static_cast<std::uint8_t>(1 + i);
      s.loop_start = 50;
      s.loop_length = 200;
      ins.samples = {s, s};
      ins.samples[1].loop = 0;
      for (int k = 48; k < 96; ++k) ins.keymap[k] = 1;
      m.instruments.push_back(ins);
    }
    return xm_write(m);
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  static const char signature[] = "Extended Module: ";
  std::vector<std::uint8_t> bytes;
  if (size >= 3 && (data[0] & 0xC0) == 0x40) {
    // Patch the built-in module at an offset, and maybe cut it there.
    bytes = base_module();
    const std::size_t at = (data[1] | data[2] << 8) % bytes.size();
    const std::size_t n = std::min(size - 3, bytes.size() - at);
    std::memcpy(bytes.data() + at, data + 3, n);
    if (data[0] & 1) bytes.resize(at + n);
  } else if (size > 0 && data[0] == 'E') {
    bytes.assign(data, data + size);  // as it is: the signature check too
  } else {
    // Behind the signature, so the fuzzer spends its time on the header and beyond.
    bytes.assign(signature, signature + 17);
    bytes.insert(bytes.end(), data, data + size);
  }
  auto player = module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (!player) return 0;
  player_set_replay_mode(*player, size % 2 ? ReplayMode::ft2 : ReplayMode::classic);  // both replays
  const std::vector<std::int16_t> pcm = render_module(*player, 1.0, false);
  if (pcm.size() != 2u * mix_rate) __builtin_trap();  // one second, whatever the song does
  // A seek into that second, then the rest of it: the same samples as the render.
  const std::uint64_t from = (size * 7919u) % mix_rate;
  player->order_position = 0;
  player->row = 0;
  OfflineRenderer r(*player);
  r.seek_frame(from);
  std::int16_t chunk[2 * chunk_frames];
  for (std::uint64_t at = from; at < static_cast<std::uint64_t>(mix_rate);) {
    const int n = r.render_chunk(chunk, false);
    const std::uint64_t keep = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), mix_rate - at);
    if (std::memcmp(chunk, pcm.data() + 2 * at, 4 * keep) != 0) __builtin_trap();
    at += keep;
  }
  return 0;
}
