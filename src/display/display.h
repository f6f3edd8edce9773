// The display window and its presentation.
#pragma once

#include <cstdint>

#include "host/window.h"

struct DisplayRequest {
  std::int32_t width;
  std::int32_t height;
  float aspect;
  float display_hint_x;
  float display_hint_y;
  std::uint8_t fullscreen;
};

void display_set_title(const char* title);
void display_set_icon(IconHandle icon);
bool display_open(DisplayRequest& request);
void display_set_fullscreen(std::uint8_t flag);
void display_present(const std::uint32_t* pixels);
WindowHandle display_window();
// Asks the display window to close, as the user would (any thread). False when no window
// is open.
bool display_request_close();
void display_close();
