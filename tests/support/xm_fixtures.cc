#include "tests/support/xm_fixtures.h"

XmSample test_sample(int n, bool sixteen_bit) {
  XmSample s;
  s.sixteen_bit = sixteen_bit;
  for (int i = 0; i < n; ++i) {
    const int v = (i * 997) % 20000 - 10000;
    s.data.push_back(static_cast<std::int16_t>(sixteen_bit ? v : (v / 256) * 256));
  }
  return s;
}

XmInstrument test_instrument(XmSample sample) {
  XmInstrument ins;
  ins.samples.push_back(std::move(sample));
  return ins;
}

XmModule test_module(int channels, int rows) {
  XmModule m;
  m.channels = channels;
  m.orders = {0};
  XmPattern p;
  p.rows = rows;
  m.patterns.push_back(p);
  m.instruments.push_back(test_instrument(test_sample(1000)));
  return m;
}

std::unique_ptr<ModulePlayer> load_bytes(const std::vector<std::uint8_t>& bytes) {
  return module_load(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

std::unique_ptr<ModulePlayer> load_xm(const XmModule& module) { return load_bytes(xm_write(module)); }

std::unique_ptr<ModulePlayer> load_xm(const XmModule& module, ReplayMode mode) {
  auto player = load_xm(module);
  if (player) player_set_replay_mode(*player, mode);
  return player;
}

void run_ticks(ModulePlayer& player, int ticks) {
  for (int i = 0; i < ticks; ++i) player.tick_function(player);
}

std::vector<std::pair<int, int>> run_rows(ModulePlayer& player, int n) {
  std::vector<std::pair<int, int>> seen;
  while (static_cast<int>(seen.size()) < n) {
    const bool row_tick = player.tick == 0;
    player.tick_function(player);
    if (row_tick) seen.push_back({player.order_position, player.row});
  }
  return seen;
}
