// Opens the display on the headless host and drives its event queue on the test thread,
// which plays the main thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/display.h"
#include "host/common/event_queue.h"
#include "host/headless/headless.h"

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::reset_display();
    host_queue::reset();
  }
  void TearDown() override {
    if (opened) display_close();
    host_queue::reset();
    headless::reset_display();
  }

  bool open(int width, int height, bool fullscreen) {
    DisplayRequest request{width, height, 4.0f / 3.0f, 0.9f, 0.9f,
                           static_cast<std::uint8_t>(fullscreen ? 1 : 0)};
    opened = display_open(request);
    hint_x = request.display_hint_x;
    hint_y = request.display_hint_y;
    if (opened && fullscreen) display_set_fullscreen(1);
    return opened;
  }

  // Delivers everything queued; returns false once the quit came.
  bool pump() {
    HostEvent event;
    for (int guard = 0; guard < 1000; ++guard) {
      int result = host_queue::try_get(&event);
      if (result < 0) return true;
      if (result == 0) return false;
      host_deliver_event(event);
    }
    ADD_FAILURE() << "the queue never ran dry";
    return true;
  }

  WindowHandle window() const { return display_window(); }
  headless::WindowState state() const { return headless::window_state(display_window()); }

  bool opened = false;
  float hint_x = 0, hint_y = 0;
};

// A framebuffer whose every pixel tells where it is: 0x00RRGGBB with x and y in it.
inline std::vector<std::uint32_t> position_pattern(int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      pixels[static_cast<std::size_t>(y) * width + x] =
          0x00800000u | (static_cast<std::uint32_t>(y) << 9) | static_cast<std::uint32_t>(x);
  return pixels;
}
