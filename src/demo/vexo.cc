// The Vexo demo: configuration, pictures and the frame script over the music position.
#include <cstdio>

#include "app/config.h"
#include "app/demo_hooks.h"
#include "demo/demo.h"

Picture sequence[sequence_count];
Picture right_slider;
Picture left_slider;
Picture logo_overlay;
Picture logo;
std::uint32_t section_mark = 0;

void demo_configure(DemoConfig& config) {
  config.width = 320;
  config.height = 200;
  config.archive_name = "vexo.pak";
  config.title = "Vexo Demo";
  config.module_name = "vexo.xm";
  config.display_hint_x = 0.9f;
  config.display_hint_y = 0.9f;
  config.icon = host_load_icon(101);
}

bool demo_load(DemoConfig&) {
  for (unsigned i = 0; i < sequence_count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%02u.jpg", i + 1);
    picture_load(sequence[i], name);
  }
  picture_load_masked(right_slider, "o4.jpg", "m4.jpg");
  picture_load_masked(left_slider, "o3.jpg", "m3.jpg");
  picture_load_masked(logo_overlay, "o5.jpg", "m5.jpg");
  picture_load_masked(logo, "logo.jpg", "mlogo.jpg");
  return true;
}

void demo_unload() {
  for (Picture& p : sequence) picture_free(p);
  picture_free(right_slider);
  picture_free(left_slider);
  picture_free(logo_overlay);
  picture_free(logo);
}

bool section_timer(const FrameClock& clock, std::uint16_t low, std::uint16_t high, std::uint32_t& mark,
                   std::uint32_t& elapsed) {
  if (clock.position < low || clock.position >= high) return false;
  if (clock.previous_position < low || clock.previous_position >= high) {
    mark = clock.time_ms;
    elapsed = 0;
  } else {
    elapsed = clock.time_ms - mark;
  }
  return true;
}

namespace {

// Two pictures per pattern from order 1: the second from row 32 on. Positions outside
// orders 1..8 give values far outside 0..15 (the subtraction wraps), never a valid index.
std::uint32_t sequence_index(std::uint32_t v) { return 2 * ((v - 0x0100u) >> 8) + ((v & 0x20u) ? 1 : 0); }

void draw_sequence(const Screen& screen, const FrameClock& clock) {
  const std::uint32_t p = clock.position, t = clock.time_ms;
  const std::uint32_t a = sequence_index(p), b = sequence_index(clock.previous_position);
  std::uint32_t elapsed;
  if (a > 0 && a != b) {
    section_mark = t;
    elapsed = 0;
  } else {
    elapsed = t - section_mark;
  }
  const std::uint32_t current = a < 15 ? a : 15;
  const std::uint32_t previous = a > 0 ? a - 1 : 0;
  const unsigned level = fade_level(elapsed);
  if (level < 255) surface_blit(screen, sequence[previous], 0, 0);
  surface_blit_fade(screen, sequence[current], 0, 0, level);

  const std::uint32_t s = elapsed >> 2;
  const bool first_half = (p & 0xFF) < 0x20;
  if (p >= 0x0300 && p <= 0x03FF) {
    // In from the right edge, then out again.
    const int x = first_half ? static_cast<int>(319 - (s + 30 < 319 ? s + 30 : 319)) : static_cast<int>(s);
    surface_blit_alpha(screen, right_slider, x, 0);
  }
  if (p >= 0x0500 && p <= 0x05FF) {
    // In from the left edge, then out again.
    const std::int64_t in = static_cast<std::int64_t>(s) - 160;
    const int x = first_half ? static_cast<int>(in < 0 ? in : 0) : -static_cast<int>(s);
    surface_blit_alpha(screen, left_slider, x, 0);
  }
}

}  // namespace

bool demo_frame(const Screen& screen, const FrameClock& clock) {
  const std::uint32_t p = clock.position;
  std::uint32_t elapsed = 0;
  if (p < 0x0020) {
    section_timer(clock, 0x0000, 0x0020, section_mark, elapsed);
    surface_blit(screen, logo, 0, 0);
    surface_fade(screen, fade_level(elapsed));
  } else if (p < 0x0100) {
    section_timer(clock, 0x0020, 0x0100, section_mark, elapsed);
    surface_blit(screen, logo, 0, 0);
    surface_blit_alpha(screen, logo_overlay, 0, 0);
  } else if (p < 0x0900) {
    draw_sequence(screen, clock);
  } else {
    if (p >= 0x0B00) return false;
    surface_blit(screen, logo, 0, 0);
    surface_blit_alpha(screen, logo_overlay, 0, 0);
    if (section_timer(clock, 0x0A20, 0x0B00, section_mark, elapsed)) surface_fade(screen, 255 - fade_level(elapsed));
  }
  return true;
}
