// Stands in for the display until the window logic is built: a window that only knows
// how to close, and presentation that shows nothing.
#include "display/display.h"
#include "host/window.h"

namespace {

WindowHandle window = nullptr;
const char* window_title = "Untitled";

std::intptr_t placeholder_proc(WindowHandle w, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  if (message == WM_CLOSE) {
    host_post_quit_message(0);
    return 0;
  }
  return host_default_window_proc(w, message, wparam, lparam);
}

}  // namespace

void display_set_title(const char* title) { window_title = title; }
void display_set_icon(IconHandle) {}

bool display_open(DisplayRequest& request) {
  HostWindowDesc desc;
  desc.title = window_title;
  desc.width = request.width;
  desc.height = request.height;
  desc.procedure = placeholder_proc;
  window = host_window_create(desc);
  request.display_hint_x = 1.0f;
  request.display_hint_y = 1.0f;
  return window != nullptr;
}

void display_set_fullscreen(std::uint8_t) {}
void display_present(const std::uint32_t*) {}
WindowHandle display_window() { return window; }
void display_set_user_proc(WindowProc) {}

void display_close() {
  host_window_destroy(window);
  window = nullptr;
}
