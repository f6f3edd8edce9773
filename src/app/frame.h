// What the demo's frame script receives each frame.
#pragma once

#include <cstdint>

#include "gfx/surface.h"

// The framebuffer as a Surface, plus the aspect and display hints.
struct Screen : Surface {
  float aspect;
  float display_hint_x;
  float display_hint_y;
};

struct FrameClock {
  std::uint16_t position;           // (order << 8) | row of the music being heard
  std::uint16_t previous_position;  // the previous frame's position; 0xFFFF on the first
  std::uint32_t time_ms;            // milliseconds since the render thread began
};
