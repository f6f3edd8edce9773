// A demo for the real-window test: four coloured quadrants, and a line on standard output
// once the pattern has been presented, so the test knows when to look.
#include <cstdio>

#include "app/demo_hooks.h"

void demo_configure(DemoConfig& config) { config.title = "Display window test"; }
bool demo_load(DemoConfig&) { return true; }

bool demo_frame(const Screen& screen, const FrameClock&) {
  static int frames = 0;
  for (int y = 0; y < screen.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<std::uint8_t*>(screen.pixels) +
                                                 static_cast<std::size_t>(y) * screen.pitch);
    for (int x = 0; x < screen.width; ++x) {
      bool right = x >= screen.width / 2, bottom = y >= screen.height / 2;
      row[x] = bottom ? (right ? 0x00FFFFFFu : 0x000000FFu) : (right ? 0x0000FF00u : 0x00FF0000u);
    }
  }
  // Frame n is drawn after frame n - 1 was presented.
  if (++frames == 3) {
    std::printf("presented\n");
    std::fflush(stdout);
  }
  return true;
}

void demo_unload() {}
